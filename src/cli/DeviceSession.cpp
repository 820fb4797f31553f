#include "cli/DeviceSession.h"

#include <arpa/inet.h>

#include "cli/Args.h"
#include "transport/WUSBDeviceUnit.h"

namespace kalvort::cli {

bool ParseLanAddress(const std::string &text, DeviceTarget &target) {
  std::string host = text;
  uint16_t port = 30000;
  if (const auto colon = text.find(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    const auto p = parseInteger(text.substr(colon + 1), 1, 65535);
    if (!p) return false;
    port = static_cast<uint16_t>(*p);
  }
  in_addr a{};
  if (::inet_pton(AF_INET, host.c_str(), &a) != 1) return false;
  target.usb = false;
  target.ip = host;
  target.port = port;
  return true;
}

std::unique_ptr<DeviceSession> DeviceSession::Create(const DeviceTarget &target, std::string &error) {
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
  return s;
}

DeviceSession::~DeviceSession() {
  Close();
  device_.reset();  // before the driver it uses
}

TDeviceType DeviceSession::ProjectDeviceType() const {
  if (target_.usb) return dtProg;
  return target_.subtype == dstWMP ? dtWMP2C42 : dtSMP2C42;
}

bool DeviceSession::OpenAndCheck(std::string &message) {
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
  if (!state_.connected) {
    Close();
    message = "Устройство не подключено";
    return false;
  }
  if (!state_.MP_connected) {
    Close();
    message = "МП не подключен";
    return false;
  }
  return true;
}

void DeviceSession::Close() {
  if (!open_) return;
  device_->DeviceClose();
  open_ = false;
}

std::string DeviceSession::ModuleLabel() const {
  std::string label = ProjectDeviceType() == dtSMP2C42 || target_.usb ? "СМП-" : "ВМП-";
  switch (state_.MP_size) {
    case 540672: return label + "500 ";
    case 2162688: return label + "2000 ";
    case 8650752: return label + "8000 ";
  }
  return label + "???? ";
}

std::string DeviceSession::DeviceLabel() const {
  if (state_.version != 0) {
    const unsigned v = state_.version;
    return "Программатор. v " + std::to_string(v / 100) + "." + std::to_string(v % 100 / 10) + "." +
           std::to_string(v % 10);
  }
  const uint32_t v = state_.full_version;
  return "Модуль Урвелл. v " + std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
         std::to_string((v >> 8) & 0xFF);
}

}  // namespace kalvort::cli
