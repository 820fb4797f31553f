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
    : TDeviceClass(dtProg), FDll(dll ? std::move(dll) : std::make_shared<TNoUsbDll>()) {
  FDevHandle = -1;
  auto detector = std::make_shared<TUSBDetector>(kUsbProgrammerClassGUID, std::move(dispatcher));
  detector->SetOnChange(
      [this](TUSBDetector *sender, TDeviceOperation op) { FOnUSBDetect(sender, op); });
  AttachUSBDetector(std::move(detector));
  FOpenDevice();
  FCloseDevice();
}

TWUSBDeviceClass::~TWUSBDeviceClass() {
  // The worker and the listener go first, so nothing calls into the library meanwhile.
  StopWorker();
  DeviceClose();
  FCloseDevice();
}

bool TWUSBDeviceClass::FOpenDevice() {
  try {
    const bool open = FDll->InitUSB();
    FDevState.connected = open;
    if (!open) {
      // A half-opened driver is closed again before reporting the failure.
      FDll->CloseUSB();
      return false;
    }
    FStopReadWrite();
    pause10();
    return true;
  } catch (...) {
    try {
      FDll->CloseUSB();
    } catch (...) {
    }
    FDevState.connected = false;
    FDevState.MP_connected = false;
    return false;
  }
}

void TWUSBDeviceClass::FCloseDevice() {
  try {
    FDll->FlashUSB();
    FDll->CloseUSB();
  } catch (...) {
  }
}

bool TWUSBDeviceClass::FStopReadWrite() {
  try {
    FDll->FlashUSB();
    return true;
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FTakeDevice(int32_t) { return true; }

void TWUSBDeviceClass::FReleaseDevice() {}

void TWUSBDeviceClass::FGetDeviceState() {
  if (!FDevState.connected) return;
  try {
    write_log("FStopReadWrite");
    FStopReadWrite();
    write_log("sleep10");
    pause10();
    write_log("ReadSMPConfig");
    uint8_t status = 0;
    uint8_t version = 0;
    bool present = false;
    if (!FDll->Read_SMP_config_byte(status, version, present)) {
      FDevState.MP_connected = false;
      FDevState.MP_ready = false;
      return;
    }
    FDevState.version = version;
    FDevState.MP_connected = present;
    // An absent module leaves the other module fields as they were.
    if (present) DecodeModuleStatus(status, FDevState);
  } catch (...) {
    FDevState.MP_connected = false;
    FDevState.MP_ready = false;
  }
}

TDeviceState TWUSBDeviceClass::FGetDevState() {
  FGetDeviceState();
  return FDevState;
}

bool TWUSBDeviceClass::FSetReadAddr(uint32_t address) {
  // Without a module's page geometry there is no flash address to compute: reading from a
  // guessed one would hand back the wrong bytes.
  if (FDevState.MP_page_size <= 0 || FDevState.MP_page_bits < 8 || FDevState.MP_page_bits > 16)
    return false;
  try {
    FStopReadWrite();
    pause10();
    const uint32_t flash =
        ModuleFlashAddress(address, FDevState.MP_page_size, FDevState.MP_page_bits);
    return FDll->SetReadSMP(0, flash);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FSetWriteAddr(uint32_t address) {
  try {
    pause10();
    return FDll->SetWriteSMP(0, address);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FEraseBlocks(uint32_t first_block, uint32_t count) {
  // The library takes 16-bit block numbers; a larger one would erase the wrong blocks.
  if (first_block > 0xFFFF || count > 0xFFFF) return false;
  try {
    pause10();
    return FDll->ClearSMP(0, static_cast<uint16_t>(first_block), static_cast<uint16_t>(count));
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FSetBufferSize(uint32_t size) {
  if (size > 0xFFFF) return false;
  try {
    pause10();
    return FDll->SetSmpBufSize(0, static_cast<uint16_t>(size));
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FReadData(uint8_t *buffer, uint32_t length) {
  try {
    uint32_t count = 0;
    return FDll->ReadUSBData(buffer, length, count);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FWriteData(const uint8_t *buffer, uint32_t length) {
  try {
    uint32_t count = 0;
    return FDll->WriteUSBData(buffer, length, count);
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FAbortIO() {
  try {
    return FDll->AbortIO();
  } catch (...) {
    return false;
  }
}

uint32_t TWUSBDeviceClass::FGetFullVersion() {
  try {
    if (!FDll->InitUSB()) return 0;
    uint8_t command[kUsbCommandSize] = {ciGetVersion};
    uint8_t reply[kUsbVersionReplySize] = {};
    uint32_t count = 0;
    FDll->WriteUSBComand(command, kUsbCommandSize, count);
    count = 0;
    const bool read = FDll->ReadUSBData(reply, kUsbVersionReplySize, count);
    FDll->CloseUSB();
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
    if (!FDll->InitUSB()) return false;
    const uint8_t command[kUsbCommandSize] = {com_id};
    uint32_t count = 0;
    const bool sent = FDll->WriteUSBComand(command, kUsbCommandSize, count);
    FDll->CloseUSB();
    return sent;
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FStoreWrites() {
  auto *store = dynamic_cast<usb_module_store *>(FDll.get());
  try {
    return !store || store->StoreChanges();
  } catch (...) {
    return false;
  }
}

bool TWUSBDeviceClass::FSetBootMode() { return SendCommand(ciBootMode); }

bool TWUSBDeviceClass::FStartUpdate() { return SendCommand(ciBootMode); }

}  // namespace kalvort
