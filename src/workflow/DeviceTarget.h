#pragma once
// What the user picked to talk to: the USB programmer, or one module of a networked controller
// (address, port, replaceable or built-in module). Both programs build their device from this,
// with the one time-out rule of the settings.

#include <cstdint>
#include <string>

#include "device/DeviceTypes.h"
#include "project/Settings.h"
#include "transport/LANDeviceUnit.h"
#include "transport/LanProtocol.h"

namespace kalvort::workflow {

struct DeviceTarget {
  bool usb = true;                // the USB programmer, else a networked controller
  std::string ip;                 // dotted-decimal IPv4 (controller)
  uint16_t port = kControllerPort;
  TDevSubtype subtype = dstSMP;   // controller's replaceable (dstSMP) or built-in (dstWMP) module
};

// The project's device kind for a target: dtProg, dtSMP2C42 or dtWMP2C42.
TDeviceType ProjectDeviceType(const DeviceTarget &target);

// "A.B.C.D" or "A.B.C.D:PORT" (port 1..65535) into the target's ip and port (usb becomes false,
// the module choice is kept). False with a plain message in `error`; `target` is then unchanged.
bool ParseLanAddress(const std::string &text, DeviceTarget &target, std::string &error);

// Dotted-decimal IPv4 to a number in host order (a.b.c.d = a*2^24 + b*2^16 + c*2^8 + d).
bool ParseIPv4(const std::string &text, uint32_t &hostOrder);
// The reverse: four bytes, highest first, each in decimal.
std::string DottedAddress(uint32_t hostOrder);

// The time-out factor a device gets from the settings (ClampTimeoutFactor, default 3).
int TimeoutFactorFor(const KalvortSettings &settings);

}  // namespace kalvort::workflow
