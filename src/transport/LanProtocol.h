#pragma once
// Messages of the network controller protocol over a TLanSocket (LanUnit.h): a 12-byte header
// (type, command, size, id, checksum; little-endian) and a payload, and the request/reply
// exchanges built from them. A reply carries the id of the request it answers; replies to earlier
// requests are dropped by id. The message counter is process-wide: every message of the process
// gets an id of its own, whichever socket sends it. Exchanges on different sockets may run at the
// same time on different threads; one socket carries one exchange at a time.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "transport/LanUnit.h"
#include "transport/ModuleCommands.h"

namespace kalvort {

// The UDP port a networked controller answers on.
inline constexpr uint16_t kControllerPort = 30000;

enum TMessageType : uint8_t { mtCommand = 1, mtData = 2 };

enum TCommandType : uint8_t {
  ctGetVersion = 2,
  ctModule = 60,
  ctReadData = 61,
  ctTakeDevice = 63,
  ctRefused = 255,
};

#pragma pack(push, 1)
struct TMessage {
  uint8_t msg_type;
  uint8_t cmd_type;
  uint16_t msg_size;  // header included
  uint32_t msg_id;
  uint32_t msg_crc;   // calc_crc over msg_size bytes with this field 0
};

// The module command record, payload of ctModule. Multi-byte numbers in `data` are big-endian.
struct TComand {
  uint8_t com_id;
  uint8_t CycloneComand;
  uint8_t num_byte;
  uint8_t data[13];
};
#pragma pack(pop)
static_assert(sizeof(TMessage) == 12 && sizeof(TComand) == kModuleCommandSize);

inline constexpr size_t kMsgHeaderSize = 12;
inline constexpr size_t kMaxDataPayload = 1056;
inline constexpr size_t kMaxOutgoingMessage = kMsgHeaderSize + kMaxDataPayload;  // 1068
inline constexpr size_t kCmdReplyMax = kMsgHeaderSize + 1024;                 // 1036
inline constexpr size_t kDataReplyMax = kMsgHeaderSize + 1052;                // 1064
inline constexpr size_t kReadChunkMax = 1052;  // data bytes one ctReadData reply carries at most

inline constexpr int kCmdTimeoutMs = 250;
inline constexpr int kDataTimeoutMs = 500;
inline constexpr int kEraseTimeoutPerBlockMs = 20;

// Requests an exchange that is safe to repeat sends before it gives up: a datagram lost on the
// way there or back costs one time-out, not the step. Every repeat is a new message with an id
// of its own, so a late reply to a lost one is dropped like any other old reply.
inline constexpr int kRequestAttempts = 3;
// Requests comm_get_data sends for one chunk before it gives up.
inline constexpr int kGetDataAttempts = kRequestAttempts;
// Replies with an old id one exchange drops before it gives up (a peer flooding stale replies
// must not hold the caller forever).
inline constexpr int kMaxLateReplies = 64;

// Id of the next message sent; never reset, raised after every successful send (a send and its
// raise are one step, so concurrent senders never share an id).
extern std::atomic<uint32_t> msg_counter;

// s := rotl(s, 1) + byte, modulo 2^32, from s = 0.
uint32_t calc_crc(const uint8_t *data, size_t n);

// Writes header and payload into `out` (room for kMsgHeaderSize + len bytes) with the checksum
// filled in; returns the message size. The building block of both sides of the protocol.
size_t build_message(uint8_t msg_type, uint8_t cmd_type, uint32_t msg_id, const uint8_t *payload,
                     size_t len, uint8_t *out);
// Reads the header of `received` bytes. False when fewer than 12 bytes arrived or msg_size is
// below 12 or beyond the bytes received.
bool parse_message(const uint8_t *data, size_t received, TMessage &header);

TComand make_comand(uint8_t com_id);

// Send one message with the current msg_counter as its id; `sent_id` (optional) gets that id.
bool write_cmd(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len,
               uint32_t *sent_id = nullptr);
bool write_data(TLanSocket &lan, const uint8_t *data, size_t len, uint32_t *sent_id = nullptr);
// Receive one reply and copy up to len payload bytes; false on time-out, a rejected datagram or a
// refused reply (cmd_type 255). read_data fails at once when len is 0.
bool read_cmd(TLanSocket &lan, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id);
bool read_data(TLanSocket &lan, uint8_t *buf, size_t len, int timeout_ms, uint32_t &msg_id);

// One command exchange: send, then wait for the reply with the request's id. With `attempts`
// above 1 a request left without its reply (time-out, refusal, failed send) is sent again, up to
// `attempts` requests in all: only for a request whose repeat does no harm.
bool comm_cmd(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply, size_t reply_len,
              int timeout_ms, int attempts = 1);
// One data upload exchange; `attempts` as for comm_cmd, `before_retry` (optional) runs before
// each repeat and can put the controller back where the lost upload started (false from it ends
// the exchange).
bool comm_set_data(TLanSocket &lan, const uint8_t *data, size_t len, int timeout_ms, int attempts = 1,
                   const std::function<bool()> &before_retry = {});
// One data download of at most 1052 bytes (a longer reply_len gets its first 1052 bytes). A failed
// send or reply is tried again up to `attempts` requests in all; `before_retry` (optional)
// runs before each repeat and can put the controller back where the lost request started (false
// from it ends the exchange).
bool comm_get_data(TLanSocket &lan, uint8_t cmd_type, const uint8_t *data, size_t len, uint8_t *reply,
                   size_t reply_len, int timeout_ms,
                   const std::function<bool()> &before_retry = {}, int attempts = kGetDataAttempts);

}  // namespace kalvort
