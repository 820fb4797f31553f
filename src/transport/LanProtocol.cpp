#include "transport/LanProtocol.h"

#include <algorithm>
#include <cstring>
#include <mutex>

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

// Serialises "send with the counter's id, then raise the counter", so that two threads sending
// at once never use the same id and a failed send leaves the counter as it was.
std::mutex g_send_mutex;

bool writeMessage(TLanSocket &lan, uint8_t msg_type, uint8_t cmd_type, const uint8_t *data,
                  size_t len, uint32_t *sent_id) {
  if (len > kMaxOutgoingMessage - kMsgHeaderSize) return false;
  uint8_t msg[kMaxOutgoingMessage];
  std::lock_guard lock(g_send_mutex);
  const uint32_t id = msg_counter.load();
  const size_t size = build_message(msg_type, cmd_type, id, data, len, msg);
  if (!lan.UDP_write(msg, size)) return false;
  msg_counter.store(id + 1);
  if (sent_id) *sent_id = id;
  return true;
}

// One reply into a local buffer of `maxlen` bytes; bounds every read by the bytes received.
bool readMessage(TLanSocket &lan, size_t maxlen, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id,
                 size_t *copied = nullptr) {
  if (copied) *copied = 0;
  uint8_t msg[kDataReplyMax];
  size_t received = 0;
  if (!lan.UDP_read(msg, std::min(maxlen, sizeof msg), timeout_ms, &received)) return false;
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

// Waits for the reply to the request `want` (the one just sent on this socket), dropping late
// replies to earlier requests.
template <typename Read>
bool awaitReply(uint32_t want, Read read) {
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

bool write_cmd(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len, uint32_t *sent_id) {
  return writeMessage(lan, mtCommand, cmd_type, data, len, sent_id);
}

bool write_data(TLanSocket &lan, const uint8_t *data, size_t len, uint32_t *sent_id) {
  return writeMessage(lan, mtData, 0, data, len, sent_id);
}

bool read_cmd(TLanSocket &lan, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id) {
  return readMessage(lan, kCmdReplyMax, buf, len, timeout_ms, msg_id);
}

bool read_data(TLanSocket &lan, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id) {
  if (len == 0) return false;
  return readMessage(lan, kDataReplyMax, buf, len, timeout_ms, msg_id);
}

bool comm_cmd(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply,
              size_t reply_len, int timeout_ms, int attempts) {
  for (int attempt = 0; attempt < std::max(attempts, 1); ++attempt) {
    if (!lan.is_open()) return false;
    uint32_t sent = 0;
    if (!write_cmd(lan, cmd_type, data, len, &sent)) continue;
    if (awaitReply(sent, [&](uint32_t &id) { return read_cmd(lan, reply, reply_len, timeout_ms, id); }))
      return true;
  }
  return false;
}

bool comm_set_data(TLanSocket &lan, const uint8_t *data, size_t len, int timeout_ms, int attempts,
                   const std::function<bool()> &before_retry) {
  for (int attempt = 0; attempt < std::max(attempts, 1); ++attempt) {
    if (attempt > 0 && before_retry && !before_retry()) return false;
    if (!lan.is_open()) return false;
    uint32_t sent = 0;
    if (!write_data(lan, data, len, &sent)) continue;
    if (awaitReply(sent, [&](uint32_t &id) { return read_cmd(lan, nullptr, 0, timeout_ms, id); })) return true;
  }
  return false;
}

bool comm_get_data(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply,
                   size_t reply_len, int timeout_ms, const std::function<bool()> &before_retry,
                   int attempts) {
  if (reply_len == 0) return true;
  const size_t chunk = std::min(reply_len, kReadChunkMax);
  for (int attempt = 0; attempt < std::max(attempts, 1); ++attempt) {
    if (attempt > 0 && before_retry && !before_retry()) return false;
    if (!lan.is_open()) return false;
    uint32_t sent = 0;
    if (!write_cmd(lan, cmd_type, data, len, &sent)) continue;
    // A reply that carries fewer bytes than asked for is a failed read, not a short success:
    // the caller relies on every byte of the buffer.
    size_t copied = 0;
    if (awaitReply(sent,
                   [&](uint32_t &id) {
                     return readMessage(lan, kDataReplyMax, reply, chunk, timeout_ms, id, &copied);
                   }) &&
        copied == chunk)
      return true;
  }
  return false;
}

}  // namespace kalvort
