#include "support/UdpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kalvort::test {

UdpPeer::UdpPeer(Handler handler) : handler_(std::move(handler)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0)
    throw std::runtime_error("UdpPeer: cannot bind");
  socklen_t len = sizeof a;
  ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

UdpPeer::~UdpPeer() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

std::vector<Datagram> UdpPeer::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void UdpPeer::run() {
  uint8_t buf[65536];
  while (!stop_) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
    if (n < 0) continue;
    Datagram request(buf, buf + n);
    {
      std::lock_guard lock(mutex_);
      received_.push_back(request);
    }
    for (const Datagram &d : handler_(request))
      ::sendto(fd_, d.data(), d.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
  }
}

}  // namespace kalvort::test
