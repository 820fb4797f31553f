#pragma once
// Stand-in for the core's device-session layer (kalvort::workflow) until it lands; same names and
// meanings, only what the desktop program uses. Removed once workflow/DeviceSession.h exists.

#include <cstdint>
#include <memory>
#include <string>

#include "device/DeviceClass.h"
#include "transport/LANDeviceUnit.h"
#include "transport/UsbBackend.h"
#include "transport/WUSBDeviceUnit.h"

namespace kalvort::workflow {

struct DeviceTarget {
  bool usb = true;
  std::string ip;
  uint16_t port = 30000;
  TDevSubtype subtype = dstSMP;
};

struct DeviceSnapshot {
  bool opened = false;
  bool busy = false;
  TDeviceState state;
  TDeviceType device_type = dtNone;
  uint32_t mp_all = 0;
};

struct StatusTexts {
  std::string device, module, size;
  bool connected = false;
  bool full_commands = false;
  bool update_prompt = false;
  bool force_2c42 = false;
};

inline std::string ver2string(uint8_t v) {
  return "v " + std::to_string(v / 100) + "." + std::to_string(v % 100 / 10) + "." + std::to_string(v % 10);
}

inline std::string ver_hex2string(uint32_t v) {
  return "v " + std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
         std::to_string((v >> 8) & 0xFF);
}

inline StatusTexts StatusTextsFor(const DeviceSnapshot &s) {
  StatusTexts t;
  if (!s.opened) {
    t.device = "Устройство не подключено";
    return t;
  }
  if (s.busy) {
    t.device = "Модуль памяти занят";
    return t;
  }
  if (!s.state.connected) {
    t.device = "Устройство не подключено";
    return t;
  }
  t.connected = true;
  if (s.state.version != 0) {
    t.full_commands = true;
    t.update_prompt = s.state.version == 210;
    t.device = "Программатор. " + ver2string(s.state.version);
    t.module = "СМП-";
  } else {
    t.force_2c42 = true;
    t.device = "Модуль Урвелл. " + ver_hex2string(s.state.full_version);
    t.module = s.device_type == dtSMP2C42 ? "СМП-" : "ВМП-";
  }
  if (s.state.MP_connected) {
    switch (s.state.MP_size) {
      case 540672: t.module += "500 "; break;
      case 2162688: t.module += "2000 "; break;
      case 8650752: t.module += "8000 "; break;
      default: t.module += "???? "; break;
    }
    t.size = "Всего " + std::to_string(s.mp_all) + " байт";
  } else {
    t.module.clear();
  }
  return t;
}

inline std::string ProjectTypeText(bool need_proc, int processor_type) {
  if (!need_proc) return "Тип проекта: не выбран";
  if (processor_type == 0) return "Тип проекта: 2C42/2Р22";
  if (processor_type == 1) return "Тип проекта: НЦ-31/МС-2109";
  return "Тип проекта: ???";
}

class DeviceSession {
 public:
  static std::unique_ptr<DeviceSession> Create(const DeviceTarget &target, int timeoutFactor, std::string &error) {
    std::unique_ptr<DeviceSession> s(new DeviceSession);
    s->target_ = target;
    if (target.usb) {
      s->backend_ = CreateUsbBackend(error);
      if (!s->backend_) return nullptr;
      s->device_ = std::make_unique<TWUSBDeviceClass>(s->backend_->dll);
    } else {
      auto lan = std::make_unique<TLANDeviceClass>(target.ip, target.port);
      lan->SetDevSubtype(target.subtype);
      s->device_ = std::move(lan);
    }
    s->device_->SetTimeoutFactor(timeoutFactor);
    return s;
  }
  ~DeviceSession() {
    Close();
    device_.reset();
  }

  TDeviceClass &Device() { return *device_; }
  const DeviceTarget &Target() const { return target_; }
  TDeviceType ProjectDeviceType() const {
    if (target_.usb) return dtProg;
    return target_.subtype == dstWMP ? dtWMP2C42 : dtSMP2C42;
  }
  bool OpenAndCheck(std::string &message) {
    Close();
    state_ = TDeviceState{};
    if (!device_->DeviceOpen()) {
      message = "Устройство не подключено";
      return false;
    }
    open_ = true;
    if (device_->LastError() == deDeviceBusy) {
      Close();
      message = "Модуль памяти занят";
      return false;
    }
    state_ = device_->DeviceState();
    if (!state_.connected || !state_.MP_connected) {
      message = state_.connected ? "МП не подключен" : "Устройство не подключено";
      Close();
      return false;
    }
    return true;
  }
  const TDeviceState &State() const { return state_; }
  void Close() {
    if (!open_) return;
    device_->DeviceClose();
    open_ = false;
  }
  DeviceSnapshot Poll() {
    DeviceSnapshot s;
    s.device_type = ProjectDeviceType();
    if (!device_->DeviceOpen()) return s;
    s.opened = true;
    if (device_->LastError() == deDeviceBusy) {
      s.busy = true;
    } else {
      s.state = device_->DeviceState();
      s.mp_all = static_cast<uint32_t>(s.state.MP_all);
    }
    device_->DeviceClose();
    return s;
  }

 private:
  DeviceSession() = default;
  DeviceTarget target_;
  std::shared_ptr<TUsbBackend> backend_;
  std::unique_ptr<TDeviceClass> device_;
  TDeviceState state_;
  bool open_ = false;
};

}  // namespace kalvort::workflow
