#pragma once
// The process-wide UDP socket of the network controller protocol: one socket connected to one
// controller, one send and one receive buffer. No locks: exchanges are strictly one at a time and
// the callers keep the threads that talk apart.
//
// When the environment variable KALVORT_LOOPBACK_ONLY is set, open_lan refuses every address
// outside 127.0.0.0/8 and sends nothing.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalvort {

inline constexpr size_t kLanBufferSize = 32772;
inline constexpr size_t kLanMinDatagram = 64;  // shorter datagrams go out padded with zeros

// Opens a UDP socket connected to address:port (dotted-decimal IPv4, no name lookup). Does not
// close a socket that is already open: callers close first.
bool open_lan(const std::string &address, uint16_t port);
// Shuts the socket down and closes it; does nothing when none is open.
void close_lan();
bool lan_is_open();

// Sends one datagram of max(len, 64) bytes. False when no socket is open, len exceeds the send
// buffer, or the send fails (lan_last_error() then holds "Socket connect error %d.").
bool UDP_write(const uint8_t *data, size_t len);
// Waits up to timeout_ms for one datagram and copies at most maxlen bytes of it to buf; `received`
// (optional) gets the number of bytes copied. False when no socket is open, on time-out or error.
bool UDP_read(uint8_t *buf, size_t maxlen, int timeout_ms, size_t *received = nullptr);

// Text of the last socket failure ("" when none since the last open).
std::string lan_last_error();

// True when `address` is dotted-decimal IPv4 inside 127.0.0.0/8.
bool lan_is_loopback(const std::string &address);
// True when KALVORT_LOOPBACK_ONLY is set in the environment.
bool lan_loopback_only();

}  // namespace kalvort
