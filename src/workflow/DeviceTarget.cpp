#include "workflow/DeviceTarget.h"

#include <arpa/inet.h>

#include <algorithm>

namespace kalvort::workflow {

TDeviceType ProjectDeviceType(const DeviceTarget &target) {
  if (target.usb) return dtProg;
  return target.subtype == dstWMP ? dtWMP2C42 : dtSMP2C42;
}

bool ParseIPv4(const std::string &text, uint32_t &hostOrder) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  hostOrder = ntohl(a.s_addr);
  return true;
}

std::string DottedAddress(uint32_t v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." + std::to_string((v >> 8) & 0xFF) +
         "." + std::to_string(v & 0xFF);
}

namespace {

// Decimal digits only, 1..65535.
bool ParsePort(const std::string &text, uint16_t &port) {
  if (text.empty() || text.size() > 5) return false;
  uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  if (v < 1 || v > 65535) return false;
  port = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

bool ParseLanAddress(const std::string &text, DeviceTarget &target, std::string &error) {
  std::string host = text;
  uint16_t port = kControllerPort;
  if (const auto colon = text.find(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    if (!ParsePort(text.substr(colon + 1), port)) {
      error = "Неверный номер порта (1–65535): " + text.substr(colon + 1);
      return false;
    }
  }
  uint32_t address = 0;
  if (!ParseIPv4(host, address)) {
    error = "Неверный IP-адрес (нужен вид A.B.C.D): " + host;
    return false;
  }
  target.usb = false;
  target.ip = DottedAddress(address);
  target.port = port;
  return true;
}

int TimeoutFactorFor(const KalvortSettings &settings) {
  return ClampTimeoutFactor(settings.options.timeout_factor);
}

}  // namespace kalvort::workflow
