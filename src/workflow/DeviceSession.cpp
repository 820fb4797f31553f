#include "workflow/DeviceSession.h"

#include <algorithm>

#include "transport/LANDeviceUnit.h"
#include "transport/UsbBackend.h"
#include "transport/WUSBDeviceUnit.h"

namespace kalvort::workflow {

OpenOutcome OpenAndCheckDevice(TDeviceClass &device, TDeviceState &state, std::string &message) {
  state = TDeviceState{};
  if (!device.DeviceOpen()) {
    message = UnreachableText(device.DeviceType());
    return OpenOutcome::NotConnected;
  }
  OpenOutcome outcome = OpenOutcome::Ok;
  if (device.LastError() == deDeviceBusy) {
    outcome = OpenOutcome::Busy;
  } else {
    state = device.DeviceState();
    if (!state.connected)
      outcome = OpenOutcome::NotConnected;
    else if (!state.MP_connected)
      outcome = OpenOutcome::NoModule;
  }
  switch (outcome) {
    case OpenOutcome::Ok: message.clear(); return outcome;
    case OpenOutcome::Busy: message = kModuleBusy; break;
    case OpenOutcome::NoModule: message = kNoModule; break;
    case OpenOutcome::NotConnected: message = UnreachableText(device.DeviceType()); break;
  }
  device.DeviceClose();
  return outcome;
}

std::string OpenFailureText(TDeviceError error, TDeviceType device) {
  switch (error) {
    case deDeviceBusy: return kModuleBusy;
    case deSMPNotConnected: return kNoModule;
    default: return UnreachableText(device);
  }
}

std::unique_ptr<DeviceSession> DeviceSession::Create(const DeviceTarget &target, int timeoutFactor,
                                                     std::string &error) {
  std::unique_ptr<DeviceSession> s(new DeviceSession);
  s->target_ = target;
  if (target.usb) {
    s->backend_ = CreateUsbBackend(error);
    if (!s->backend_) return nullptr;
    s->device_ = std::make_unique<TWUSBDeviceClass>(s->backend_->dll);
  } else {
    auto lan = std::make_unique<TLANDeviceClass>(target.ip, target.port);
    lan->SetDevSubtype(target.subtype == dstWMP ? dstWMP : dstSMP);
    s->device_ = std::move(lan);
  }
  s->device_->SetTimeoutFactor(ClampTimeoutFactor(timeoutFactor));
  return s;
}

DeviceSession::~DeviceSession() {
  Close();
  device_.reset();  // before the driver it uses
}

std::string DeviceSession::BackendDescription() const { return backend_ ? backend_->description : std::string(); }
std::string DeviceSession::BackendWarning() const { return backend_ ? backend_->warning : std::string(); }

OpenOutcome DeviceSession::OpenAndCheckOutcome(std::string &message) {
  Close();
  const OpenOutcome outcome = OpenAndCheckDevice(*device_, state_, message);
  open_ = outcome == OpenOutcome::Ok;
  return outcome;
}

bool DeviceSession::OpenAndCheck(std::string &message) { return OpenAndCheckOutcome(message) == OpenOutcome::Ok; }

void DeviceSession::Close() {
  if (!open_) return;
  device_->DeviceClose();
  open_ = false;
}

DeviceSnapshot DeviceSession::Poll() {
  DeviceSnapshot snap;
  snap.device_type = ProjectDeviceType();
  try {
    if (open_) {
      snap.opened = true;
      snap.state = device_->DeviceState();
    } else if (device_->DeviceOpen()) {
      snap.opened = true;
      snap.busy = device_->LastError() == deDeviceBusy;
      if (!snap.busy) snap.state = device_->DeviceState();
      device_->DeviceClose();
    }
  } catch (...) {
    // A status reading that cannot be had shows as "not connected"; the next poll tries again.
    snap = DeviceSnapshot{};
    snap.device_type = ProjectDeviceType();
  }
  if (snap.opened && !snap.busy) state_ = snap.state;
  snap.mp_all = snap.state.MP_all > 0 ? static_cast<uint32_t>(snap.state.MP_all) : 0;
  return snap;
}

}  // namespace kalvort::workflow
