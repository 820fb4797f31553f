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
    : TDeviceClass(dtSMP2C42), FIP(ip), port_(port), attempts_(std::max(attempts, 1)) {
  LinkOpenDevice();
  LinkCloseDevice();
}

TLANDeviceClass::~TLANDeviceClass() {
  StopWorker();
  DeviceClose();
  LinkCloseDevice();
}

void TLANDeviceClass::Pause(int ms) {
  pause_total_ms_ += static_cast<uint64_t>(ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TLANDeviceClass::SetIP_Port(const std::string &ip, uint16_t port) {
  FIP = ip;
  port_ = port;
}

bool TLANDeviceClass::ModuleCommand(uint8_t com_id, const uint8_t *data, size_t data_len,
                                    uint8_t *reply, size_t reply_len, int timeout_ms) {
  TComand c = make_comand(com_id);
  if (data) std::copy_n(data, std::min(data_len, sizeof c.data), c.data);
  return comm_cmd(lan_, ctModule, reinterpret_cast<const uint8_t *>(&c), sizeof c, reply, reply_len,
                  timeout_ms, attempts_);
}

bool TLANDeviceClass::LinkOpenDevice() {
  dev_state_.connected = lan_.open_lan(FIP, port_);
  if (dev_state_.connected) {
    dev_state_.connected = LinkStopReadWrite();
    if (!dev_state_.connected) {
      // A controller that does not answer is never left half open.
      lan_.close_lan();
      dev_state_.MP_connected = false;
    }
  }
  return dev_state_.connected;
}

void TLANDeviceClass::LinkCloseDevice() { lan_.close_lan(); }

bool TLANDeviceClass::LinkStopReadWrite() {
  return ModuleCommand(ciStopReadWrite, nullptr, 0, nullptr, 0, kCmdTimeoutMs);
}

bool TLANDeviceClass::LinkTakeDevice(int32_t claim) {
  uint8_t payload[8];
  putLE32(payload, static_cast<uint32_t>(dev_subtype_));
  putLE32(payload + 4, static_cast<uint32_t>(claim));
  uint8_t reply[8] = {};
  if (!comm_cmd(lan_, ctTakeDevice, payload, sizeof payload, reply, sizeof reply, kCmdTimeoutMs,
                attempts_)) {
    // No answer is no refusal: the controller is not there, not busy.
    dev_state_.connected = false;
    return false;
  }
  return (reply[0] | reply[1] | reply[2] | reply[3]) != 0;
}

void TLANDeviceClass::LinkReleaseDevice() {
  uint8_t payload[8] = {};
  uint8_t reply[8] = {};
  comm_cmd(lan_, ctTakeDevice, payload, sizeof payload, reply, sizeof reply, kCmdTimeoutMs,
           attempts_);
}

uint32_t TLANDeviceClass::LinkGetFullVersion() {
  if (!dev_state_.connected) return 0;
  uint8_t reply[4] = {};
  if (!comm_cmd(lan_, ctGetVersion, nullptr, 0, reply, sizeof reply, kCmdTimeoutMs, attempts_)) return 0;
  return uint32_t(reply[0]) | uint32_t(reply[1]) << 8 | uint32_t(reply[2]) << 16 |
         uint32_t(reply[3]) << 24;
}

void TLANDeviceClass::LinkGetDeviceState() {
  if (!dev_state_.connected) return;
  // A controller that stops answering is lost as a whole, not just its module.
  auto lost = [this] {
    dev_state_.connected = false;
    dev_state_.MP_connected = false;
    dev_state_.MP_ready = false;
  };
  if (!LinkStopReadWrite()) return lost();
  Pause(10);
  write_log("ReadSMPConfig");
  uint8_t version[4] = {};
  if (!comm_cmd(lan_, ctGetVersion, nullptr, 0, version, sizeof version, kCmdTimeoutMs, attempts_))
    return lost();
  dev_state_.full_version = uint32_t(version[0]) | uint32_t(version[1]) << 8 |
                           uint32_t(version[2]) << 16 | uint32_t(version[3]) << 24;
  uint8_t config[3] = {};
  if (!ModuleCommand(ciReadConfig, nullptr, 0, config, sizeof config, kCmdTimeoutMs)) return lost();
  dev_state_.MP_connected = config[0] == 1;
  if (dev_state_.MP_connected) DecodeModuleStatus(config[2], dev_state_);
}

TDeviceState TLANDeviceClass::LinkGetDevState() {
  LinkGetDeviceState();
  return dev_state_;
}

bool TLANDeviceClass::SendReadAddr(uint32_t address) {
  const uint32_t flash =
      ModuleFlashAddress(address, dev_state_.MP_page_size, dev_state_.MP_page_bits);
  const uint8_t data[4] = {static_cast<uint8_t>(flash >> 16), static_cast<uint8_t>(flash >> 8),
                           static_cast<uint8_t>(flash), 0};
  if (!ModuleCommand(ciSetReadAddr, data, sizeof data, nullptr, 0, kCmdTimeoutMs)) return false;
  read_pos_ = address;
  return true;
}

bool TLANDeviceClass::LinkSetReadAddr(uint32_t address) {
  if (!LinkStopReadWrite()) return false;
  Pause(10);
  return SendReadAddr(address);
}

bool TLANDeviceClass::LinkReadData(uint8_t *buffer, uint32_t length) {
  // One reply carries at most 1052 bytes: longer reads (a 1056-byte page) take several requests.
  uint32_t done = 0;
  while (done < length) {
    const uint32_t chunk = std::min<uint32_t>(length - done, kReadChunkMax);
    uint8_t payload[4];
    putLE32(payload, chunk);
    const uint32_t start = read_pos_;
    const auto rewind = [&] { return LinkStopReadWrite() && SendReadAddr(start); };
    if (!comm_get_data(lan_, ctReadData, payload, sizeof payload, buffer + done, chunk, kDataTimeoutMs,
                       rewind, attempts_))
      return false;
    read_pos_ = start + chunk;
    done += chunk;
  }
  return true;
}

bool TLANDeviceClass::LinkSetWriteAddr(uint32_t address) {
  const uint8_t data[4] = {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                           static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
  if (!ModuleCommand(ciSetWriteAddr, data, sizeof data, nullptr, 0, kCmdTimeoutMs)) return false;
  write_pos_ = address;
  return true;
}

bool TLANDeviceClass::LinkWriteData(const uint8_t *buffer, uint32_t length) {
  if (length > kMaxDataPayload) return false;
  // A page written twice at its address holds the same bytes; written at the address the lost
  // upload may have moved the controller on to, it would land on the next page.
  const uint32_t start = write_pos_;
  const auto readdress = [&] { return LinkSetWriteAddr(start); };
  if (!comm_set_data(lan_, buffer, length, kDataTimeoutMs, attempts_, readdress)) return false;
  write_pos_ = start + length;
  return true;
}

bool TLANDeviceClass::LinkEraseBlocks(uint32_t first_block, uint32_t count) {
  Pause(10);
  const uint8_t data[4] = {static_cast<uint8_t>(first_block >> 8), static_cast<uint8_t>(first_block),
                           static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  const int timeout = static_cast<int>(std::min<uint32_t>(count, 0xFFFF)) * kEraseTimeoutPerBlockMs +
                      kCmdTimeoutMs;
  return ModuleCommand(ciEraseBlocks, data, sizeof data, nullptr, 0, timeout);
}

bool TLANDeviceClass::LinkSetBufferSize(uint32_t size) {
  Pause(10);
  const uint8_t data[2] = {static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
  return ModuleCommand(ciSetBufferSize, data, sizeof data, nullptr, 0, kCmdTimeoutMs);
}

bool TLANDeviceClass::LinkAbortIO() { return true; }

// Firmware maintenance is not offered over the network: nothing is sent.
bool TLANDeviceClass::LinkSetBootMode() { return false; }
bool TLANDeviceClass::LinkStartUpdate() { return false; }

}  // namespace kalvort
