#pragma once
// TWUSBDeviceClass: the memory-module device behind the USB programmer. Every transport operation
// is one or more calls of the programmer's driver library (usb_dll), with the pauses the
// programmer needs before addressing, erasing and sizing. The programmer is opened and closed
// around every status read and every device action; in between the library is closed.
//
// Threads: the operations run on the worker during an action and on the owner's thread for status
// reads and hot-plug handling; the device core keeps the two apart. Hot-plug events arrive through
// the owner's dispatcher (OwnerDispatch.h).

#include <cstdint>
#include <memory>

#include "device/DeviceClass.h"
#include "transport/OwnerDispatch.h"
#include "transport/UsbDll.h"

namespace kalvort {

// Firmware version byte of a programmer whose firmware must be updated before it is used.
inline constexpr uint8_t kProgrammerUpdateVersion = 210;

// Whether a state read after a successful open asks for the firmware-update prompt.
inline bool ProgrammerNeedsUpdate(const TDeviceState &state) {
  return state.connected && state.version == kProgrammerUpdateVersion;
}

class TWUSBDeviceClass : public TDeviceClass {
 public:
  // Attaches the hot-plug listener for the programmer's class (which reads the state of an
  // already plugged programmer at once), then opens and closes the programmer once.
  explicit TWUSBDeviceClass(std::shared_ptr<usb_dll> dll,
                            std::shared_ptr<TOwnerDispatcher> dispatcher = OwnerDispatcher());
  ~TWUSBDeviceClass() override;

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
  bool LinkStoreWrites() override;

  usb_dll &Driver() { return *dll_; }

 private:
  // Opens the library, sends one command record with only com_id set, and closes it again.
  bool SendCommand(uint8_t com_id);

  std::shared_ptr<usb_dll> dll_;
};

}  // namespace kalvort
