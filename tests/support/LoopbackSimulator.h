#pragma once
// Starts a controller simulator on port 30000 of a loopback address that no other test (or test
// process) is using: tries 127.0.B.N addresses until one binds.

#include <memory>

#include "sim/UrvellSimulator.h"

namespace kalvort::test {

std::unique_ptr<sim::UrvellSimulator> startLoopbackSimulator(
    std::shared_ptr<sim::ModuleMemory> smp, std::shared_ptr<sim::ModuleMemory> wmp = nullptr,
    sim::UrvellConfig config = {});

// A second station (another workstation) with a raw socket of its own: takes or releases a
// module of the simulator.
class OtherStation {
 public:
  explicit OtherStation(const sim::UrvellSimulator &s);
  ~OtherStation();
  OtherStation(const OtherStation &) = delete;
  OtherStation &operator=(const OtherStation &) = delete;
  // First word of the take reply; -1 when no reply came.
  int64_t take(uint32_t subtype, uint32_t value);

 private:
  int fd_ = -1;
};

// Threads of this process right now.
int processThreadCount();

}  // namespace kalvort::test
