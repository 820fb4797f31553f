#pragma once
// DeviceSession: the device object for a DeviceTarget (the USB programmer through its driver, or
// a networked controller), and the one open-and-check step every device command starts with.
// Both the desktop program and kalvort-cli hold their device through it.
//
// Threads: one thread at a time uses a session (its owner: the one that runs a command or a poll).
// Poll() may run on a worker thread while no action runs on the device.

#include <cstdint>
#include <memory>
#include <string>

#include "device/DeviceClass.h"
#include "workflow/DeviceStatus.h"
#include "workflow/DeviceTarget.h"

namespace kalvort {
struct TUsbBackend;
}

namespace kalvort::workflow {

enum class OpenOutcome {
  Ok,            // open, a module present; the device stays open
  NotConnected,  // the device does not answer, or reports itself not connected
  Busy,          // another station holds the module (or the controller)
  NoModule,      // the device answers, no module in it
};

// Opens `device` and checks it before a command: on Ok the device is open and `state` holds its
// state; otherwise the device is closed again (when the open got that far) and `message` holds
// the user's message ("Устройство не подключено", for a networked controller "Устройство не
// отвечает", "Модуль памяти занят", "МП не подключен").
OpenOutcome OpenAndCheckDevice(TDeviceClass &device, TDeviceState &state, std::string &message);
// The message of a failed open by its device error: deDeviceBusy "Модуль памяти занят",
// deSMPNotConnected "МП не подключен", anything else UnreachableText(device).
std::string OpenFailureText(TDeviceError error, TDeviceType device = dtProg);

class DeviceSession {
 public:
  // Creates the device object for the target with the time-out factor (1..5). A controller's
  // object opens its connection once when created (a short network wait: the desktop program does
  // this off the window's thread). Null with the reason in `error` when the USB driver cannot be
  // used; a device that does not answer is created anyway and shows as not connected.
  static std::unique_ptr<DeviceSession> Create(const DeviceTarget &target, int timeoutFactor, std::string &error);
  ~DeviceSession();
  DeviceSession(const DeviceSession &) = delete;
  DeviceSession &operator=(const DeviceSession &) = delete;

  TDeviceClass &Device() { return *device_; }
  const TDeviceClass &Device() const { return *device_; }
  const DeviceTarget &Target() const { return target_; }
  // dtProg, dtSMP2C42 or dtWMP2C42.
  TDeviceType ProjectDeviceType() const { return workflow::ProjectDeviceType(target_); }
  // The USB driver in use (null for a controller): its hot-plug source, the virtual programmer.
  TUsbBackend *Backend() const { return backend_.get(); }
  // One line about the USB driver in use (empty for a controller) and a warning, if any.
  std::string BackendDescription() const;
  std::string BackendWarning() const;

  // OpenAndCheckDevice on this device; false with the user's message. The device stays open
  // after true until Close().
  bool OpenAndCheck(std::string &message);
  OpenOutcome OpenAndCheckOutcome(std::string &message);
  // The state read by the last OpenAndCheck (or Poll).
  const TDeviceState &State() const { return state_; }
  void Close();
  bool IsOpen() const { return open_; }

  // One status reading: open, read the state, close. Never throws. When the session is open (a
  // command holds the device) the state is read without opening or closing.
  DeviceSnapshot Poll();

 private:
  DeviceSession() = default;

  DeviceTarget target_;
  std::shared_ptr<TUsbBackend> backend_;
  std::unique_ptr<TDeviceClass> device_;
  TDeviceState state_;
  bool open_ = false;
};

}  // namespace kalvort::workflow
