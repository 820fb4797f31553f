#include "transport/LanUnit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace kalvort {

namespace {

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

void TLanSocket::setError(std::string text) {
  std::lock_guard lock(error_mutex_);
  last_error_ = std::move(text);
}

std::string TLanSocket::last_error() const {
  std::lock_guard lock(error_mutex_);
  return last_error_;
}

bool TLanSocket::open_lan(const std::string &address, uint16_t port) {
  close_lan();
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
  fd_.store(fd);
  return true;
}

void TLanSocket::close_lan() {
  const int fd = fd_.exchange(-1);
  if (fd < 0) return;
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

bool TLanSocket::UDP_write(const uint8_t *data, size_t len) {
  if (len > kLanBufferSize) return false;
  const int fd = fd_.load();
  if (fd < 0) return false;
  ssize_t sent;
  size_t out = len;
  if (len < kLanMinDatagram) {
    uint8_t padded[kLanMinDatagram] = {};
    if (len) std::memcpy(padded, data, len);
    out = kLanMinDatagram;
    sent = ::send(fd, padded, out, MSG_NOSIGNAL);
  } else {
    sent = ::send(fd, data, out, MSG_NOSIGNAL);
  }
  if (sent != static_cast<ssize_t>(out)) {
    setError("Socket connect error " + std::to_string(sent < 0 ? errno : EMSGSIZE) + ".");
    return false;
  }
  return true;
}

bool TLanSocket::UDP_read(uint8_t *buf, size_t maxlen, int timeout_ms, size_t *received) {
  if (received) *received = 0;
  const int fd = fd_.load();
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
  // A datagram longer than maxlen is cut there by the kernel (the rest is dropped), which is
  // what copying min(length, maxlen) bytes of it out of a receive buffer would give.
  const ssize_t n = ::recv(fd, buf, std::min(maxlen, kLanBufferSize), 0);
  if (n < 0) return false;  // ECONNREFUSED when nothing listens on the peer's port, among others
  if (received) *received = static_cast<size_t>(n);
  return true;
}

}  // namespace kalvort
