#pragma once
// The UDP socket of the network controller protocol. Every transport object owns one TLanSocket:
// a socket connected to one controller, so two objects never share a descriptor, a buffer or the
// replies meant for the other, whatever threads they run on. The controller tells its clients
// apart by address and port, so each object is a client of its own there too (its claim, its
// release). One object is used by one thread at a time (its owner or its worker).
//
// When the environment variable KALVORT_LOOPBACK_ONLY is set, open_lan refuses every address
// outside 127.0.0.0/8 and sends nothing.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace kalvort {

inline constexpr size_t kLanBufferSize = 32772;  // largest datagram taken in
inline constexpr size_t kLanMinDatagram = 64;    // shorter datagrams go out padded with zeros

class TLanSocket {
 public:
  TLanSocket() = default;
  ~TLanSocket() { close_lan(); }
  TLanSocket(const TLanSocket &) = delete;
  TLanSocket &operator=(const TLanSocket &) = delete;

  // Opens a UDP socket connected to address:port (dotted-decimal IPv4, no name lookup). A socket
  // this object already holds is closed first, so reopening never leaks a descriptor.
  bool open_lan(const std::string &address, uint16_t port);
  // Shuts the socket down and closes it; does nothing when none is open.
  void close_lan();
  bool is_open() const { return fd_.load() >= 0; }

  // Sends one datagram of max(len, 64) bytes. False when no socket is open, len exceeds
  // kLanBufferSize, or the send fails (last_error() then holds "Socket connect error %d.").
  bool UDP_write(const uint8_t *data, size_t len);
  // Waits up to timeout_ms for one datagram and copies at most maxlen bytes of it to buf (the rest
  // of a longer datagram is dropped); `received` (optional) gets the number of bytes copied. False
  // when no socket is open, on time-out or error.
  bool UDP_read(uint8_t *buf, size_t maxlen, int timeout_ms, size_t *received = nullptr);

  // Text of the last socket failure ("" when none since the last open).
  std::string last_error() const;

 private:
  void setError(std::string text);

  // -1 when closed. Atomic so that a status read on one thread and an action on another, kept
  // apart by the object's owner, never tear the handle.
  std::atomic<int> fd_{-1};
  mutable std::mutex error_mutex_;
  std::string last_error_;
};

// True when `address` is dotted-decimal IPv4 inside 127.0.0.0/8.
bool lan_is_loopback(const std::string &address);
// True when KALVORT_LOOPBACK_ONLY is set in the environment.
bool lan_loopback_only();

}  // namespace kalvort
