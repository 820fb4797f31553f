#pragma once
// Starts a controller simulator on port 30000 of a loopback address that no other test (or test
// process) is using: tries 127.0.B.N addresses until one binds.

#include <memory>

#include "sim/UrvellSimulator.h"

namespace kalvort::test {

std::unique_ptr<sim::UrvellSimulator> startLoopbackSimulator(
    std::shared_ptr<sim::ModuleMemory> smp, std::shared_ptr<sim::ModuleMemory> wmp = nullptr,
    sim::UrvellConfig config = {});

}  // namespace kalvort::test
