#include "support/LoopbackSimulator.h"

#include <unistd.h>

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
    config.port = 30000;
    auto s = std::make_unique<sim::UrvellSimulator>(config, smp, wmp);
    if (s->Start()) return s;
  }
  throw std::runtime_error("no free loopback address for a simulator");
}

}  // namespace kalvort::test
