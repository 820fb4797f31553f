// A stand-in for a programmer maker's driver library: answers every call with fixed values and
// keeps a log of the calls with their arguments, read back through test_driver_log().
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "transport/usb_dll_abi.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
std::string g_log;
void logCall(const char *format, ...) __attribute__((format(printf, 1, 2)));
void logCall(const char *format, ...) {
  char line[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_log += line;
  g_log += ';';
}
}  // namespace

EXPORT const char *test_driver_log() { return g_log.c_str(); }

EXPORT bool InitUSB(void) { logCall("InitUSB"); return true; }
EXPORT void CloseUSB(void) { logCall("CloseUSB"); }
EXPORT void FlashUSB(void) { logCall("FlashUSB"); }
EXPORT bool Read_SMP_config_byte(uint8_t *status, uint8_t *version, bool *present) {
  logCall("Read_SMP_config_byte");
  *status = 0x9C;
  *version = 211;
  *present = true;
  return true;
}
EXPORT bool SetReadSMP(uint8_t slot, uint32_t address) {
  logCall("SetReadSMP(%u,%u)", slot, address);
  return true;
}
EXPORT bool SetWriteSMP(uint8_t slot, uint32_t address) {
  logCall("SetWriteSMP(%u,%u)", slot, address);
  return true;
}
EXPORT bool ClearSMP(uint8_t slot, uint16_t first, uint16_t count) {
  logCall("ClearSMP(%u,%u,%u)", slot, first, count);
  return true;
}
EXPORT bool SetSmpBufSize(uint8_t slot, uint16_t size) {
  logCall("SetSmpBufSize(%u,%u)", slot, size);
  return true;
}
EXPORT bool ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t *transferred) {
  logCall("ReadUSBData(%u)", length);
  std::memset(buffer, 0xA5, length);
  *transferred = length;
  return true;
}
EXPORT bool WriteUSBData(const uint8_t *buffer, uint32_t length, uint32_t *transferred) {
  logCall("WriteUSBData(%u,%u)", length, length ? buffer[0] : 0u);
  *transferred = length;
  return true;
}
EXPORT bool WriteUSBComand(const uint8_t *record, uint32_t length, uint32_t *transferred) {
  logCall("WriteUSBComand(%u,%u)", record[0], length);
  *transferred = length;
  return true;
}
#ifndef TEST_DRIVER_WITHOUT_ABORTIO
EXPORT bool AbortIO(void) { logCall("AbortIO"); return false; }
#endif
