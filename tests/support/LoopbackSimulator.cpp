#include "support/LoopbackSimulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include <stdexcept>
#include <string>

namespace kalvort::test {

std::unique_ptr<sim::UrvellSimulator> startLoopbackSimulator(
    std::shared_ptr<sim::ModuleMemory> smp, std::shared_ptr<sim::ModuleMemory> wmp,
    sim::UrvellConfig config) {
  // Spread test processes over 127.0.B.* by process id, then walk until an address is free.
  const int base = 1 + static_cast<int>(::getpid() % 200);
  for (int k = 0; k < 2000; ++k) {
    const int b = (base + k / 250) % 250 + 1;
    const int n = k % 250 + 2;
    config.address = "127.0." + std::to_string(b) + "." + std::to_string(n);
    config.port = kControllerPort;
    auto s = std::make_unique<sim::UrvellSimulator>(config, smp, wmp);
    if (s->Start()) return s;
  }
  throw std::runtime_error("no free loopback address for a simulator");
}

OtherStation::OtherStation(const sim::UrvellSimulator &s) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(s.Config().port);
  inet_pton(AF_INET, s.Config().address.c_str(), &a.sin_addr);
  ::connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
}

OtherStation::~OtherStation() { ::close(fd_); }

int64_t OtherStation::take(uint32_t subtype, uint32_t value) {
  uint8_t msg[64] = {};
  uint8_t payload[8];
  for (int i = 0; i < 4; ++i) {
    payload[i] = static_cast<uint8_t>(subtype >> (8 * i));
    payload[4 + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  build_message(mtCommand, ctTakeDevice, 0x7777, payload, sizeof payload, msg);
  ::send(fd_, msg, sizeof msg, 0);
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, 500) <= 0) return -1;
  uint8_t reply[256];
  if (::recv(fd_, reply, sizeof reply, 0) < 20) return -1;
  uint32_t w;
  std::memcpy(&w, reply + 12, 4);
  return w;
}

int processThreadCount() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return -1;
}

}  // namespace kalvort::test
