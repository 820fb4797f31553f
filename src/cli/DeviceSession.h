#pragma once
// The device side of kalvort-cli device: which device the command line names, creating its
// object (USB programmer driver or networked controller), and opening and checking it the way
// every device command of the desktop program does.

#include <cstdint>
#include <memory>
#include <string>

#include "device/DeviceClass.h"
#include "transport/LANDeviceUnit.h"
#include "transport/UsbBackend.h"

namespace kalvort::cli {

struct DeviceTarget {
  bool usb = false;
  std::string ip;                 // network controller: dotted-decimal IPv4
  uint16_t port = 30000;
  TDevSubtype subtype = dstSMP;   // its replaceable (smp) or built-in (wmp) module
};

// Parses "A.B.C.D" or "A.B.C.D:PORT" (port 1..65535) into `target`; false on anything else.
bool ParseLanAddress(const std::string &text, DeviceTarget &target);

class DeviceSession {
 public:
  // Creates the device object; null with the reason in `error` when the USB driver cannot be used.
  static std::unique_ptr<DeviceSession> Create(const DeviceTarget &target, std::string &error);
  ~DeviceSession();
  DeviceSession(const DeviceSession &) = delete;
  DeviceSession &operator=(const DeviceSession &) = delete;

  TDeviceClass &Device() { return *device_; }
  const DeviceTarget &Target() const { return target_; }
  // The project's device kind for this device: dtProg, dtSMP2C42 or dtWMP2C42.
  TDeviceType ProjectDeviceType() const;
  // One line about the USB driver in use (empty for a network controller) and a warning, if any.
  std::string BackendDescription() const { return backend_ ? backend_->description : std::string(); }
  std::string BackendWarning() const { return backend_ ? backend_->warning : std::string(); }

  // Opens the device and reads its state. False with the user's message in `message` when the
  // device does not answer ("Устройство не подключено"), another station holds it ("Модуль памяти
  // занят") or no module is present ("МП не подключен"); the device is closed again then.
  bool OpenAndCheck(std::string &message);
  // The state read by the last OpenAndCheck.
  const TDeviceState &State() const { return state_; }
  // "СМП-" or "ВМП-" followed by the module's size word ("500 ", "2000 ", "8000 ", "???? ").
  std::string ModuleLabel() const;
  // "Программатор. v 2.0.9" or "Модуль Урвелл. v 1.2.3".
  std::string DeviceLabel() const;
  void Close();

 private:
  DeviceSession() = default;

  DeviceTarget target_;
  std::shared_ptr<TUsbBackend> backend_;
  std::unique_ptr<TDeviceClass> device_;
  TDeviceState state_;
  bool open_ = false;
};

}  // namespace kalvort::cli
