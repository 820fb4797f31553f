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

  ModuleMemory &Module() { return *FModule; }
  // The programmer itself: unplugged, FOpenDevice fails.
  void SetProgrammerPresent(bool present) { FProgrammerPresent = present; }
  // Another client holds the device: FTakeDevice fails.
  void SetHeldByOther(bool held) { FHeldByOther = held; }

  void FGetDeviceState() override;
  bool FOpenDevice() override;
  void FCloseDevice() override;
  uint32_t FGetFullVersion() override;
  bool FTakeDevice(int32_t claim) override;
  void FReleaseDevice() override;
  bool FSetReadAddr(uint32_t address) override;
  bool FReadData(uint8_t *buffer, uint32_t length) override;
  bool FSetWriteAddr(uint32_t address) override;
  bool FWriteData(const uint8_t *buffer, uint32_t length) override;
  bool FStopReadWrite() override;
  bool FEraseBlocks(uint32_t first_block, uint32_t count) override;
  bool FSetBufferSize(uint32_t size) override;
  bool FAbortIO() override;
  bool FSetBootMode() override;
  bool FStartUpdate() override;
  TDeviceState FGetDevState() override;

 private:
  std::shared_ptr<ModuleMemory> FModule;
  std::atomic<bool> FProgrammerPresent{true};
  std::atomic<bool> FHeldByOther{false};
  bool FOpen = false;
};

}  // namespace kalvort::sim
