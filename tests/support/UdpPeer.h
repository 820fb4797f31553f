#pragma once
// A UDP socket on 127.0.0.1 that plays the controller in protocol tests: every datagram it
// receives goes to a handler, whose answer (any number of datagrams) goes back to the sender.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kalvort::test {

using Datagram = std::vector<uint8_t>;

class UdpPeer {
 public:
  using Handler = std::function<std::vector<Datagram>(const Datagram &request)>;

  explicit UdpPeer(Handler handler);
  ~UdpPeer();
  UdpPeer(const UdpPeer &) = delete;
  UdpPeer &operator=(const UdpPeer &) = delete;

  uint16_t port() const { return port_; }
  std::vector<Datagram> received() const;

 private:
  void run();

  Handler handler_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Datagram> received_;
  std::thread thread_;
};

}  // namespace kalvort::test
