#include "transport/LANDeviceUnit.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "device/DebugLog.h"
#include "transport/LanProtocol.h"
#include "module/ModuleStatus.h"

namespace kalvort {

namespace {

void putLE32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TLANDeviceClass::TLANDeviceClass(const std::string &ip, uint16_t port, int attempts)
    : TDeviceClass(dtSMP2C42), FIP(ip), FPort(port), FAttempts(std::max(attempts, 1)) {
  FOpenDevice();
  FCloseDevice();
}

TLANDeviceClass::~TLANDeviceClass() {
  StopWorker();
  DeviceClose();
  FCloseDevice();
}

void TLANDeviceClass::Pause(int ms) {
  FPauseTotalMs += static_cast<uint64_t>(ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TLANDeviceClass::SetIP_Port(const std::string &ip, uint16_t port) {
  FIP = ip;
  FPort = port;
}

bool TLANDeviceClass::ModuleCommand(uint8_t com_id, const uint8_t *data, size_t data_len,
                                    uint8_t *reply, size_t reply_len, int timeout_ms) {
  TComand c = make_comand(com_id);
  if (data) std::copy_n(data, std::min(data_len, sizeof c.data), c.data);
  return comm_cmd(FLan, ctModule, reinterpret_cast<const uint8_t *>(&c), sizeof c, reply, reply_len,
                  timeout_ms, FAttempts);
}

bool TLANDeviceClass::FOpenDevice() {
  FDevState.connected = FLan.open_lan(FIP, FPort);
  if (FDevState.connected) {
    FDevState.connected = FStopReadWrite();
    if (!FDevState.connected) {
      // A controller that does not answer is never left half open.
      FLan.close_lan();
      FDevState.MP_connected = false;
    }
  }
  return FDevState.connected;
}

void TLANDeviceClass::FCloseDevice() { FLan.close_lan(); }

bool TLANDeviceClass::FStopReadWrite() {
  return ModuleCommand(ciStopReadWrite, nullptr, 0, nullptr, 0, kCmdTimeoutMs);
}

bool TLANDeviceClass::FTakeDevice(int32_t claim) {
  uint8_t payload[8];
  putLE32(payload, static_cast<uint32_t>(FDevSubtype));
  putLE32(payload + 4, static_cast<uint32_t>(claim));
  uint8_t reply[8] = {};
  if (!comm_cmd(FLan, ctTakeDevice, payload, sizeof payload, reply, sizeof reply, kCmdTimeoutMs,
                FAttempts)) {
    // No answer is no refusal: the controller is not there, not busy.
    FDevState.connected = false;
    return false;
  }
  return (reply[0] | reply[1] | reply[2] | reply[3]) != 0;
}

void TLANDeviceClass::FReleaseDevice() {
  uint8_t payload[8] = {};
  uint8_t reply[8] = {};
  comm_cmd(FLan, ctTakeDevice, payload, sizeof payload, reply, sizeof reply, kCmdTimeoutMs,
           FAttempts);
}

uint32_t TLANDeviceClass::FGetFullVersion() {
  if (!FDevState.connected) return 0;
  uint8_t reply[4] = {};
  if (!comm_cmd(FLan, ctGetVersion, nullptr, 0, reply, sizeof reply, kCmdTimeoutMs, FAttempts)) return 0;
  return uint32_t(reply[0]) | uint32_t(reply[1]) << 8 | uint32_t(reply[2]) << 16 |
         uint32_t(reply[3]) << 24;
}

void TLANDeviceClass::FGetDeviceState() {
  if (!FDevState.connected) return;
  // A controller that stops answering is lost as a whole, not just its module.
  auto lost = [this] {
    FDevState.connected = false;
    FDevState.MP_connected = false;
    FDevState.MP_ready = false;
  };
  if (!FStopReadWrite()) return lost();
  Pause(10);
  write_log("ReadSMPConfig");
  uint8_t version[4] = {};
  if (!comm_cmd(FLan, ctGetVersion, nullptr, 0, version, sizeof version, kCmdTimeoutMs, FAttempts))
    return lost();
  FDevState.full_version = uint32_t(version[0]) | uint32_t(version[1]) << 8 |
                           uint32_t(version[2]) << 16 | uint32_t(version[3]) << 24;
  uint8_t config[3] = {};
  if (!ModuleCommand(ciReadConfig, nullptr, 0, config, sizeof config, kCmdTimeoutMs)) return lost();
  FDevState.MP_connected = config[0] == 1;
  if (FDevState.MP_connected) DecodeModuleStatus(config[2], FDevState);
}

TDeviceState TLANDeviceClass::FGetDevState() {
  FGetDeviceState();
  return FDevState;
}

bool TLANDeviceClass::SendReadAddr(uint32_t address) {
  const uint32_t flash =
      ModuleFlashAddress(address, FDevState.MP_page_size, FDevState.MP_page_bits);
  const uint8_t data[4] = {static_cast<uint8_t>(flash >> 16), static_cast<uint8_t>(flash >> 8),
                           static_cast<uint8_t>(flash), 0};
  if (!ModuleCommand(ciSetReadAddr, data, sizeof data, nullptr, 0, kCmdTimeoutMs)) return false;
  FReadPos = address;
  return true;
}

bool TLANDeviceClass::FSetReadAddr(uint32_t address) {
  if (!FStopReadWrite()) return false;
  Pause(10);
  return SendReadAddr(address);
}

bool TLANDeviceClass::FReadData(uint8_t *buffer, uint32_t length) {
  // One reply carries at most 1052 bytes: longer reads (a 1056-byte page) take several requests.
  uint32_t done = 0;
  while (done < length) {
    const uint32_t chunk = std::min<uint32_t>(length - done, kReadChunkMax);
    uint8_t payload[4];
    putLE32(payload, chunk);
    const uint32_t start = FReadPos;
    const auto rewind = [&] { return FStopReadWrite() && SendReadAddr(start); };
    if (!comm_get_data(FLan, ctReadData, payload, sizeof payload, buffer + done, chunk, kDataTimeoutMs,
                       rewind, FAttempts))
      return false;
    FReadPos = start + chunk;
    done += chunk;
  }
  return true;
}

bool TLANDeviceClass::FSetWriteAddr(uint32_t address) {
  const uint8_t data[4] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                           static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  if (!ModuleCommand(ciSetWriteAddr, data, sizeof data, nullptr, 0, kCmdTimeoutMs)) return false;
  FWritePos = address;
  return true;
}

bool TLANDeviceClass::FWriteData(const uint8_t *buffer, uint32_t length) {
  if (length > kMaxDataPayload) return false;
  // A page written twice at its address holds the same bytes; written at the address the lost
  // upload may have moved the controller on to, it would land on the next page.
  const uint32_t start = FWritePos;
  const auto readdress = [&] { return FSetWriteAddr(start); };
  if (!comm_set_data(FLan, buffer, length, kDataTimeoutMs, FAttempts, readdress)) return false;
  FWritePos = start + length;
  return true;
}

bool TLANDeviceClass::FEraseBlocks(uint32_t first_block, uint32_t count) {
  Pause(10);
  const uint8_t data[4] = {static_cast<uint8_t>(first_block >> 8), static_cast<uint8_t>(first_block),
                           static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  const int timeout = static_cast<int>(std::min<uint32_t>(count, 0xFFFF)) * kEraseTimeoutPerBlockMs +
                      kCmdTimeoutMs;
  return ModuleCommand(ciEraseBlocks, data, sizeof data, nullptr, 0, timeout);
}

bool TLANDeviceClass::FSetBufferSize(uint32_t size) {
  Pause(10);
  const uint8_t data[2] = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
  return ModuleCommand(ciSetBufferSize, data, sizeof data, nullptr, 0, kCmdTimeoutMs);
}

bool TLANDeviceClass::FAbortIO() { return true; }

// Firmware maintenance is not offered over the network: nothing is sent.
bool TLANDeviceClass::FSetBootMode() { return false; }
bool TLANDeviceClass::FStartUpdate() { return false; }

}  // namespace kalvort
