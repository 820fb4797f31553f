#include "transport/LanProtocol.h"

#include <algorithm>
#include <cstring>

#include "transport/LanUnit.h"

namespace kalvort {

std::atomic<uint32_t> msg_counter{0};

namespace {

void putLE16(uint8_t *p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void putLE32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t getLE32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool writeMessage(uint8_t msg_type, uint8_t cmd_type, const uint8_t *data, size_t len) {
  if (len > kMaxOutgoingMessage - kMsgHeaderSize) return false;
  uint8_t msg[kMaxOutgoingMessage];
  const size_t size = build_message(msg_type, cmd_type, msg_counter.load(), data, len, msg);
  if (!UDP_write(msg, size)) return false;
  msg_counter.fetch_add(1);
  return true;
}

// One reply into a local buffer of `maxlen` bytes; bounds every read by the bytes received.
bool readMessage(size_t maxlen, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id,
                 size_t *copied = nullptr) {
  if (copied) *copied = 0;
  uint8_t msg[kDataReplyMax];
  size_t received = 0;
  if (!UDP_read(msg, std::min(maxlen, sizeof msg), timeout_ms, &received)) return false;
  TMessage h{};
  if (!parse_message(msg, received, h)) return false;
  std::memset(msg + 8, 0, 4);
  if (calc_crc(msg, h.msg_size) == 0) return false;
  // The peer's checksum is not compared: the controllers' replies are not relied on for it.
  if (len) {
    const size_t n = std::min(len, size_t(h.msg_size) - kMsgHeaderSize);
    if (n) std::memcpy(buf, msg + kMsgHeaderSize, n);
    if (copied) *copied = n;
  }
  msg_id = h.msg_id;
  return h.cmd_type != ctRefused;
}

// Waits for the reply to the request just sent, dropping late replies to earlier requests.
template <typename Read>
bool awaitReply(Read read) {
  const uint32_t want = msg_counter.load() - 1;
  for (int late = 0; late <= kMaxLateReplies; ++late) {
    uint32_t id = 0;
    if (!read(id)) return false;
    if (id == want) return true;
  }
  return false;
}

}  // namespace

uint32_t calc_crc(const uint8_t *data, size_t n) {
  uint32_t s = 0;
  for (size_t i = 0; i < n; ++i) s = ((s << 1) | (s >> 31)) + data[i];
  return s;
}

size_t build_message(uint8_t msg_type, uint8_t cmd_type, uint32_t msg_id, const uint8_t *payload,
                     size_t len, uint8_t *out) {
  const size_t size = kMsgHeaderSize + len;
  out[0] = msg_type;
  out[1] = cmd_type;
  putLE16(out + 2, static_cast<uint16_t>(size));
  putLE32(out + 4, msg_id);
  putLE32(out + 8, 0);
  if (len) std::memcpy(out + kMsgHeaderSize, payload, len);
  putLE32(out + 8, calc_crc(out, size));
  return size;
}

bool parse_message(const uint8_t *data, size_t received, TMessage &header) {
  if (received < kMsgHeaderSize) return false;
  header.msg_type = data[0];
  header.cmd_type = data[1];
  header.msg_size = static_cast<uint16_t>(data[2] | data[3] << 8);
  header.msg_id = getLE32(data + 4);
  header.msg_crc = getLE32(data + 8);
  return header.msg_size >= kMsgHeaderSize && header.msg_size <= received;
}

TComand make_comand(uint8_t com_id) {
  TComand c{};
  c.com_id = com_id;
  return c;
}

bool write_cmd(uint8_t cmd_type, const uint8_t *data, size_t len) {
  return writeMessage(mtCommand, cmd_type, data, len);
}

bool write_data(const uint8_t *data, size_t len) { return writeMessage(mtData, 0, data, len); }

bool read_cmd(uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id) {
  return readMessage(kCmdReplyMax, buf, len, timeout_ms, msg_id);
}

bool read_data(uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id) {
  if (len == 0) return false;
  return readMessage(kDataReplyMax, buf, len, timeout_ms, msg_id);
}

bool comm_cmd(uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply, size_t reply_len,
              int timeout_ms) {
  if (!write_cmd(cmd_type, data, len)) return false;
  return awaitReply([&](uint32_t &id) { return read_cmd(reply, reply_len, timeout_ms, id); });
}

bool comm_set_data(const uint8_t *data, size_t len, int timeout_ms) {
  if (!write_data(data, len)) return false;
  return awaitReply([&](uint32_t &id) { return read_cmd(nullptr, 0, timeout_ms, id); });
}

bool comm_get_data(uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply,
                   size_t reply_len, int timeout_ms, const std::function<bool()> &before_retry) {
  if (reply_len == 0) return true;
  const size_t chunk = std::min(reply_len, kReadChunkMax);
  for (int attempt = 0; attempt < kGetDataAttempts; ++attempt) {
    if (attempt > 0 && before_retry && !before_retry()) return false;
    if (!lan_is_open()) return false;
    if (!write_cmd(cmd_type, data, len)) continue;
    // A reply that carries fewer bytes than asked for is a failed read, not a short success:
    // the caller relies on every byte of the buffer.
    size_t copied = 0;
    if (awaitReply([&](uint32_t &id) {
          return readMessage(kDataReplyMax, reply, chunk, timeout_ms, id, &copied);
        }) &&
        copied == chunk)
      return true;
  }
  return false;
}

}  // namespace kalvort
