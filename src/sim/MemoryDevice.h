#pragma once
// A device over the in-memory module model: the programmer is a plain object, the module a
// ModuleMemory shared with whoever wants to look at its bytes or inject faults. It runs the real
// worker and every action end to end without hardware; the CLI and the tests use it.

#include <atomic>
#include <memory>

#include "device/DeviceClass.h"
#include "module/ModuleMemory.h"

namespace kalvort::sim {

class TMemoryDevice : public TDeviceClass {
 public:
  explicit TMemoryDevice(std::shared_ptr<ModuleMemory> module, TDeviceType type = dtProg);
  ~TMemoryDevice() override;

  ModuleMemory &Module() { return *module_; }
  // The programmer itself: unplugged, LinkOpenDevice fails.
  void SetProgrammerPresent(bool present) { programmer_present_ = present; }
  // Another client holds the device: LinkTakeDevice fails.
  void SetHeldByOther(bool held) { held_by_other_ = held; }

  void LinkGetDeviceState() override;
  bool LinkOpenDevice() override;
  void LinkCloseDevice() override;
  uint32_t LinkGetFullVersion() override;
  bool LinkTakeDevice(int32_t claim) override;
  void LinkReleaseDevice() override;
  bool LinkSetReadAddr(uint32_t address) override;
  bool LinkReadData(uint8_t *buffer, uint32_t length) override;
  bool LinkSetWriteAddr(uint32_t address) override;
  bool LinkWriteData(const uint8_t *buffer, uint32_t length) override;
  bool LinkStopReadWrite() override;
  bool LinkEraseBlocks(uint32_t first_block, uint32_t count) override;
  bool LinkSetBufferSize(uint32_t size) override;
  bool LinkAbortIO() override;
  bool LinkSetBootMode() override;
  bool LinkStartUpdate() override;
  TDeviceState LinkGetDevState() override;

 private:
  std::shared_ptr<ModuleMemory> module_;
  std::atomic<bool> programmer_present_{true};
  std::atomic<bool> held_by_other_{false};
  bool open_ = false;
};

}  // namespace kalvort::sim
