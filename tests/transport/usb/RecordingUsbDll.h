#pragma once
// A usb_dll that passes every call on to another one (normally the virtual programmer) and keeps a
// log of the calls with their arguments and times. Hooks let a test replace the module status
// answer and cut the version reply short.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/UsbDll.h"

namespace kalvort::test {

class RecordingUsbDll final : public usb_dll, public usb_module_store {
 public:
  using Clock = std::chrono::steady_clock;
  struct Call {
    std::string text;
    Clock::time_point at;
  };

  explicit RecordingUsbDll(std::shared_ptr<usb_dll> inner) : inner_(std::move(inner)) {}

  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Call &c : Calls()) out.push_back(c.text);
    return out;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

  // Replaces the answer of Read_SMP_config_byte (set it while no action runs).
  std::function<bool(uint8_t &status, uint8_t &version, bool &present)> config_answer;
  // The next ReadUSBData reports one byte fewer than it moved.
  std::atomic<bool> short_next_read{false};

  bool InitUSB() override { return log("InitUSB"), inner_->InitUSB(); }
  void CloseUSB() override { log("CloseUSB"), inner_->CloseUSB(); }
  void FlashUSB() override { log("FlashUSB"), inner_->FlashUSB(); }
  bool Read_SMP_config_byte(uint8_t &status, uint8_t &version, bool &present) override {
    log("Read_SMP_config_byte");
    if (config_answer) return config_answer(status, version, present);
    return inner_->Read_SMP_config_byte(status, version, present);
  }
  bool SetReadSMP(uint8_t slot, uint32_t a) override {
    log("SetReadSMP(" + std::to_string(slot) + "," + std::to_string(a) + ")");
    return inner_->SetReadSMP(slot, a);
  }
  bool SetWriteSMP(uint8_t slot, uint32_t a) override {
    log("SetWriteSMP(" + std::to_string(slot) + "," + std::to_string(a) + ")");
    return inner_->SetWriteSMP(slot, a);
  }
  bool ClearSMP(uint8_t slot, uint16_t first, uint16_t count) override {
    log("ClearSMP(" + std::to_string(slot) + "," + std::to_string(first) + "," +
        std::to_string(count) + ")");
    return inner_->ClearSMP(slot, first, count);
  }
  bool SetSmpBufSize(uint8_t slot, uint16_t size) override {
    log("SetSmpBufSize(" + std::to_string(slot) + "," + std::to_string(size) + ")");
    return inner_->SetSmpBufSize(slot, size);
  }
  bool ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t &transferred) override {
    log("ReadUSBData(" + std::to_string(length) + ")");
    const bool ok = inner_->ReadUSBData(buffer, length, transferred);
    if (short_next_read.exchange(false) && transferred > 0) --transferred;
    return ok;
  }
  bool WriteUSBData(const uint8_t *buffer, uint32_t length, uint32_t &transferred) override {
    log("WriteUSBData(" + std::to_string(length) + ")");
    return inner_->WriteUSBData(buffer, length, transferred);
  }
  bool WriteUSBComand(const uint8_t *record, uint32_t length, uint32_t &transferred) override {
    std::string text = "WriteUSBComand(";
    for (uint32_t i = 0; i < length; ++i) text += (i ? " " : "") + std::to_string(record[i]);
    log(text + ")");
    return inner_->WriteUSBComand(record, length, transferred);
  }
  bool AbortIO() override { return log("AbortIO"), inner_->AbortIO(); }
  // Passed on unrecorded: it is no call of the library.
  bool StoreChanges() override {
    auto *store = dynamic_cast<usb_module_store *>(inner_.get());
    return !store || store->StoreChanges();
  }

 private:
  void log(std::string text) {
    std::lock_guard lock(mutex_);
    calls_.push_back({std::move(text), Clock::now()});
  }

  std::shared_ptr<usb_dll> inner_;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

}  // namespace kalvort::test
