// The network search against controller simulators on loopback addresses.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"
#include "workflow/NetworkSearch.h"

namespace kalvort::workflow {
namespace {

// A simulator on `address` at a port below the ephemeral range that no other test process is
// using (the default port 30000 of 127.0.0.x may be taken by a parallel run).
std::unique_ptr<sim::UrvellSimulator> SimulatorAt(const std::string &address) {
  sim::UrvellConfig config;
  config.address = address;
  for (int k = 0; k < 500; ++k) {
    config.port = static_cast<uint16_t>(20000 + (::getpid() + k * 7) % 9000);
    auto s = std::make_unique<sim::UrvellSimulator>(config, std::make_shared<sim::ModuleMemory>(3), nullptr);
    if (s->Start()) return s;
  }
  return nullptr;
}

uint32_t Address(const std::string &text) {
  uint32_t v = 0;
  EXPECT_TRUE(ParseIPv4(text, v)) << text;
  return v;
}

TEST(NetworkSearch, RangesAndAddresses) {
  uint32_t a = 0, b = 0;
  std::string error;
  EXPECT_FALSE(NetworkSearch::ParseRange("127.0.0.3", "127.0.0.1", a, b, error));
  EXPECT_EQ(error, "Неверный диапазон поиска.");
  EXPECT_FALSE(NetworkSearch::ParseRange("127.0.0.1", "127.0.0.300", a, b, error));
  EXPECT_NE(error.find("127.0.0.300"), std::string::npos) << error;
  // Numbers in host order, so a range may cross octet boundaries.
  ASSERT_TRUE(NetworkSearch::ParseRange("10.0.0.255", "10.0.1.0", a, b, error)) << error;
  EXPECT_EQ(b - a, 1u);
  EXPECT_EQ(DottedAddress(a), "10.0.0.255");
  EXPECT_EQ(DottedAddress(b), "10.0.1.0");
  EXPECT_EQ(DottedAddress(0xFFFFFFFF), "255.255.255.255");

  // An inverted range probes nothing; the top address ends the search without wrapping.
  NetworkSearch inverted(Address("127.0.0.3"), Address("127.0.0.1"));
  EXPECT_TRUE(inverted.Done());
  EXPECT_EQ(inverted.Percent(), 100);
  NetworkSearch whole(0, 0xFFFFFFFF);
  EXPECT_EQ(whole.Total(), uint64_t{1} << 32);
  EXPECT_EQ(whole.Percent(), 0);
}

TEST(NetworkSearch, FindsTheAnsweringControllerOnly) {
  auto controller = SimulatorAt("127.0.0.2");
  ASSERT_TRUE(controller);
  const uint16_t port = controller->Config().port;

  // Equal ends: exactly one address is probed.
  NetworkSearch one(Address("127.0.0.2"), Address("127.0.0.2"), port);
  ASSERT_FALSE(one.Done());
  const auto only = one.Step();
  EXPECT_TRUE(only.answered);
  EXPECT_EQ(only.ip, "127.0.0.2");
  EXPECT_TRUE(one.Done());
  EXPECT_EQ(one.Percent(), 100);

  NetworkSearch search(Address("127.0.0.1"), Address("127.0.0.3"), port);
  std::vector<std::string> probed, answered;
  std::vector<int> percents;
  while (!search.Done()) {
    const auto r = search.Step();
    probed.push_back(r.ip);
    if (r.answered) answered.push_back(r.ip);
    percents.push_back(search.Percent());
  }
  EXPECT_EQ(probed, (std::vector<std::string>{"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
  EXPECT_EQ(answered, (std::vector<std::string>{"127.0.0.2"}));
  EXPECT_EQ(percents, (std::vector<int>{33, 66, 100}));
}

}  // namespace
}  // namespace kalvort::workflow
