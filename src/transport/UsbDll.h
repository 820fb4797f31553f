#pragma once
// The USB programmer's driver library, as Kalvort calls it: exactly the twelve functions of the
// maker's `usb_dll`. Two implementations exist: the virtual programmer (VirtualProgrammer.h, the
// default) and a real driver loaded from a shared library (UsbDriverLoader.h).
//
// `slot` is a byte argument that Kalvort always passes as 0. None of the functions throws.

#include <cstdint>

#include "transport/ModuleCommands.h"

namespace kalvort {

// WriteUSBComand sends a module command record (ModuleCommands.h: com_id, every other byte 0).
inline constexpr uint32_t kUsbCommandSize = kModuleCommandSize;
// Size of the reply to ciGetVersion.
inline constexpr uint32_t kUsbVersionReplySize = 64;

class usb_dll {
 public:
  virtual ~usb_dll() = default;

  // Opens the programmer; true when it is open.
  virtual bool InitUSB() = 0;
  virtual void CloseUSB() = 0;
  // Ends any read or write in progress.
  virtual void FlashUSB() = 0;
  // The module status byte, the firmware version byte and whether a module is plugged in;
  // true when the three outputs are valid.
  virtual bool Read_SMP_config_byte(uint8_t &status, uint8_t &version, bool &present) = 0;
  // Starts a sequential read at a 24-bit flash address (page << page_bits | offset).
  virtual bool SetReadSMP(uint8_t slot, uint32_t flash_address) = 0;
  // Starts a sequential write at a linear page address (page * page_size).
  virtual bool SetWriteSMP(uint8_t slot, uint32_t address) = 0;
  // Erases `count` blocks of 8 pages from block `first` on.
  virtual bool ClearSMP(uint8_t slot, uint16_t first, uint16_t count) = 0;
  virtual bool SetSmpBufSize(uint8_t slot, uint16_t size) = 0;
  virtual bool ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t &transferred) = 0;
  virtual bool WriteUSBData(const uint8_t *buffer, uint32_t length, uint32_t &transferred) = 0;
  // Sends a 16-byte module command record (`length` is 16).
  virtual bool WriteUSBComand(const uint8_t *record, uint32_t length, uint32_t &transferred) = 0;
  virtual bool AbortIO() = 0;
};

// Not one of the library's functions: a driver that keeps the module's bytes somewhere a change
// can still fail to reach after the call that made it returned (the virtual programmer's module
// file) also implements this, so that a write or erase is reported done only once it is kept.
class usb_module_store {
 public:
  virtual ~usb_module_store() = default;
  // True when every change made so far is kept.
  virtual bool StoreChanges() = 0;
};

}  // namespace kalvort
