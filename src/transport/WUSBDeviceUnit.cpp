#include "transport/WUSBDeviceUnit.h"

#include <chrono>
#include <thread>

#include "device/DebugLog.h"
#include "device/HotPlugTypes.h"
#include "module/ModuleStatus.h"
#include "transport/USBDetect.h"

namespace kalvort {

namespace {

// The programmer needs this long after a stop and before an address, erase or size command.
void pause10() { std::this_thread::sleep_for(std::chrono::milliseconds(10)); }

// Stands in when no library was given: the programmer is never there.
class TNoUsbDll final : public usb_dll {
 public:
  bool InitUSB() override { return false; }
  void CloseUSB() override {}
  void FlashUSB() override {}
  bool Read_SMP_config_byte(uint8_t &, uint8_t &, bool &) override { return false; }
  bool SetReadSMP(uint8_t, uint32_t) override { return false; }
  bool SetWriteSMP(uint8_t, uint32_t) override { return false; }
  bool ClearSMP(uint8_t, uint16_t, uint16_t) override { return false; }
  bool SetSmpBufSize(uint8_t, uint16_t) override { return false; }
  bool ReadUSBData(uint8_t *, uint32_t, uint32_t &n) override { return n = 0, false; }
  bool WriteUSBData(const uint8_t *, uint32_t, uint32_t &n) override { return n = 0, false; }
  bool WriteUSBComand(const uint8_t *, uint32_t, uint32_t &n) override { return n = 0, false; }
  bool AbortIO() override { return false; }
};

}  // namespace

TWUSBDeviceClass::TWUSBDeviceClass(std::shared_ptr<usb_dll> dll,
                                   std::shared_ptr<TOwnerDispatcher> dispatcher)
    : TDeviceClass(dtProg), dll_(dll ? std::move(dll) : std::make_shared<TNoUsbDll>()) {
  dev_handle_ = -1;
  auto detector = std::make_shared<TUSBDetector>(kUsbProgrammerClassGUID, std::move(dispatcher));
  detector->SetOnChange(
      [this](TUSBDetector *sender, TDeviceOperation op) { on_usb_detect_(sender, op); });
  AttachUSBDetector(std::move(detector));
  LinkOpenDevice();
  LinkCloseDevice();
}

TWUSBDeviceClass::~TWUSBDeviceClass() {
  // The worker and the listener go first, so nothing calls into the library meanwhile.
  StopWorker();
  DeviceClose();
  LinkCloseDevice();
}

bool TWUSBDeviceClass::LinkOpenDevice() {
  try {
    const bool open = dll_->InitUSB();
    dev_state_.connected = open;
    if (!open) {
      // A half-opened driver is closed again before reporting the failure.
      dll_->CloseUSB();
      return false;
    }
    LinkStopReadWrite();
    pause10();
    return true;
  } catch (...) {
    try {
      dll_->CloseUSB();
    } catch (...) {
    }
    dev_state_.connected = false;
    dev_state_.MP_connected = false;
    return false;
  }
}

void TWUSBDeviceClass::LinkCloseDevice() {
  try {
    dll_->FlashUSB();
    dll_->CloseUSB();
  } catch (...) {
  }
}

bool TWUSBDeviceClass::LinkStopReadWrite() {
  try {
    dll_->FlashUSB();
    return true;
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkTakeDevice(int32_t) { return true; }

void TWUSBDeviceClass::LinkReleaseDevice() {}

void TWUSBDeviceClass::LinkGetDeviceState() {
  if (!dev_state_.connected) return;
  try {
    write_log("LinkStopReadWrite");
    LinkStopReadWrite();
    write_log("sleep10");
    pause10();
    write_log("ReadSMPConfig");
    uint8_t status = 0;
    uint8_t version = 0;
    bool present = false;
    if (!dll_->Read_SMP_config_byte(status, version, present)) {
      dev_state_.MP_connected = false;
      dev_state_.MP_ready = false;
      return;
    }
    dev_state_.version = version;
    dev_state_.MP_connected = present;
    // An absent module leaves the other module fields as they were.
    if (present) DecodeModuleStatus(status, dev_state_);
  } catch (...) {
    dev_state_.MP_connected = false;
    dev_state_.MP_ready = false;
  }
}

TDeviceState TWUSBDeviceClass::LinkGetDevState() {
  LinkGetDeviceState();
  return dev_state_;
}

bool TWUSBDeviceClass::LinkSetReadAddr(uint32_t address) {
  // Without a module's page geometry there is no flash address to compute: reading from a
  // guessed one would hand back the wrong bytes.
  if (dev_state_.MP_page_size <= 0 || dev_state_.MP_page_bits < 8 || dev_state_.MP_page_bits > 16)
    return false;
  try {
    LinkStopReadWrite();
    pause10();
    const uint32_t flash =
        ModuleFlashAddress(address, dev_state_.MP_page_size, dev_state_.MP_page_bits);
    return dll_->SetReadSMP(0, flash);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkSetWriteAddr(uint32_t address) {
  try {
    pause10();
    return dll_->SetWriteSMP(0, address);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkEraseBlocks(uint32_t first_block, uint32_t count) {
  // The library takes 16-bit block numbers; a larger one would erase the wrong blocks.
  if (first_block > 0xFFFF || count > 0xFFFF) return false;
  try {
    pause10();
    return dll_->ClearSMP(0, static_cast<uint16_t>(first_block), static_cast<uint16_t>(count));
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkSetBufferSize(uint32_t size) {
  if (size > 0xFFFF) return false;
  try {
    pause10();
    return dll_->SetSmpBufSize(0, static_cast<uint16_t>(size));
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkReadData(uint8_t *buffer, uint32_t length) {
  try {
    uint32_t count = 0;
    return dll_->ReadUSBData(buffer, length, count);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkWriteData(const uint8_t *buffer, uint32_t length) {
  try {
    uint32_t count = 0;
    return dll_->WriteUSBData(buffer, length, count);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkAbortIO() {
  try {
    return dll_->AbortIO();
  } catch (...) {
    return false;
  }
}

uint32_t TWUSBDeviceClass::LinkGetFullVersion() {
  try {
    if (!dll_->InitUSB()) return 0;
    uint8_t command[kUsbCommandSize] = {ciGetVersion};
    uint8_t reply[kUsbVersionReplySize] = {};
    uint32_t count = 0;
    dll_->WriteUSBComand(command, kUsbCommandSize, count);
    count = 0;
    const bool read = dll_->ReadUSBData(reply, kUsbVersionReplySize, count);
    dll_->CloseUSB();
    // Anything but one whole reply is no version.
    if (!read || count != kUsbVersionReplySize) return 0;
    return static_cast<uint32_t>(reply[0]) | static_cast<uint32_t>(reply[1]) << 8 |
           static_cast<uint32_t>(reply[2]) << 16 | static_cast<uint32_t>(reply[3]) << 24;
  } catch (...) {
    return 0;
  }
}

bool TWUSBDeviceClass::SendCommand(uint8_t com_id) {
  try {
    if (!dll_->InitUSB()) return false;
    const uint8_t command[kUsbCommandSize] = {com_id};
    uint32_t count = 0;
    const bool sent = dll_->WriteUSBComand(command, kUsbCommandSize, count);
    dll_->CloseUSB();
    return sent;
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkStoreWrites() {
  auto *store = dynamic_cast<usb_module_store *>(dll_.get());
  try {
    return !store || store->StoreChanges();
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::LinkSetBootMode() { return SendCommand(ciBootMode); }

bool TWUSBDeviceClass::LinkStartUpdate() { return SendCommand(ciBootMode); }

}  // namespace kalvort
