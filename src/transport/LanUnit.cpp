#include "transport/LanUnit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kalvort {

namespace {

// -1 when closed. Atomic so that a status read on one thread and an action on another, kept apart
// by the callers, never tear the handle.
std::atomic<int> g_socket{-1};
uint8_t g_send_buffer[kLanBufferSize];
uint8_t g_recv_buffer[kLanBufferSize];
std::mutex g_error_mutex;
std::string g_last_error;

void setError(std::string text) {
  std::lock_guard lock(g_error_mutex);
  g_last_error = std::move(text);
}

bool parseIPv4(const std::string &address, in_addr &out) {
  return inet_pton(AF_INET, address.c_str(), &out) == 1;
}

}  // namespace

bool lan_is_loopback(const std::string &address) {
  in_addr a{};
  if (!parseIPv4(address, a)) return false;
  return (ntohl(a.s_addr) >> 24) == 127;
}

bool lan_loopback_only() { return std::getenv("KALVORT_LOOPBACK_ONLY") != nullptr; }

bool open_lan(const std::string &address, uint16_t port) {
  setError("");
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  if (!parseIPv4(address, peer.sin_addr)) {
    setError("Socket connect error " + std::to_string(EINVAL) + ".");
    return false;
  }
  if (lan_loopback_only() && !lan_is_loopback(address)) {
    setError("Address outside 127.0.0.0/8 refused (KALVORT_LOOPBACK_ONLY).");
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) {
    setError("Socket create failed.");
    return false;
  }
  if (::connect(fd, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0) {
    setError("Socket connect error " + std::to_string(errno) + ".");
    ::close(fd);
    return false;
  }
  g_socket.store(fd);
  return true;
}

void close_lan() {
  const int fd = g_socket.exchange(-1);
  if (fd < 0) return;
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

bool lan_is_open() { return g_socket.load() >= 0; }

bool UDP_write(const uint8_t *data, size_t len) {
  if (len > kLanBufferSize) return false;
  const int fd = g_socket.load();
  if (fd < 0) return false;
  const size_t out = std::max(len, kLanMinDatagram);
  if (len) std::memcpy(g_send_buffer, data, len);
  std::memset(g_send_buffer + len, 0, out - len);
  const ssize_t sent = ::send(fd, g_send_buffer, out, MSG_NOSIGNAL);
  if (sent != static_cast<ssize_t>(out)) {
    setError("Socket connect error " + std::to_string(sent < 0 ? errno : EMSGSIZE) + ".");
    return false;
  }
  return true;
}

bool UDP_read(uint8_t *buf, size_t maxlen, int timeout_ms, size_t *received) {
  if (received) *received = 0;
  const int fd = g_socket.load();
  if (fd < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    // Rounded up, so a wait is never shorter than asked for.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    break;
  }
  const ssize_t n = ::recv(fd, g_recv_buffer, sizeof g_recv_buffer, 0);
  if (n < 0) return false;  // ECONNREFUSED when nothing listens on the peer's port, among others
  const size_t copy = std::min(static_cast<size_t>(n), maxlen);
  if (copy) std::memcpy(buf, g_recv_buffer, copy);
  if (received) *received = copy;
  return true;
}

std::string lan_last_error() {
  std::lock_guard lock(g_error_mutex);
  return g_last_error;
}

}  // namespace kalvort
