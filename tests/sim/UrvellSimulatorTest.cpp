#include "sim/UrvellSimulator.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "support/LoopbackSimulator.h"
#include "transport/LanProtocol.h"
#include "transport/LanUnit.h"

namespace kalvort::sim {
namespace {

std::vector<uint8_t> le(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words)
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  return out;
}

bool moduleCmd(TLanSocket &lan, const TComand &c, uint8_t *reply = nullptr, size_t reply_len = 0, int timeout = 250) {
  return comm_cmd(lan, ctModule, reinterpret_cast<const uint8_t *>(&c), sizeof c, reply, reply_len,
                  timeout);
}

// Take (or release with value 0); returns the first reply word, -1 when the exchange failed.
int64_t take(TLanSocket &lan, uint32_t subtype, uint32_t value) {
  const auto payload = le({subtype, value});
  uint8_t reply[8] = {};
  if (!comm_cmd(lan, ctTakeDevice, payload.data(), payload.size(), reply, 8, 250)) return -1;
  uint32_t w;
  std::memcpy(&w, reply, 4);
  return w;
}

class Simulator : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
    smp = std::make_shared<ModuleMemory>(3);
    wmp = std::make_shared<ModuleMemory>(1);
    sim = test::startLoopbackSimulator(smp, wmp);
    ASSERT_TRUE(lan.open_lan(sim->Config().address, 30000));
  }

  std::shared_ptr<ModuleMemory> smp, wmp;
  std::unique_ptr<UrvellSimulator> sim;
  TLanSocket lan;
};

TEST_F(Simulator, StatusTickAnswersVersionAndModuleStatus) {
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciStopReadWrite)));
  EXPECT_EQ(take(lan, 1, 1000), 1);
  uint8_t version[4] = {};
  ASSERT_TRUE(comm_cmd(lan, ctGetVersion, nullptr, 0, version, 4, 250));
  EXPECT_EQ(version[0] | version[1] << 8, 0x210);
  uint8_t config[3] = {};
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciReadConfig), config, 3));
  EXPECT_EQ(config[0], 1);
  EXPECT_EQ(config[2], 0x9C);  // ready mptMP500
  EXPECT_EQ(take(lan, 2, 1000), 1);  // now the built-in module
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciReadConfig), config, 3));
  EXPECT_EQ(config[2], EncodeModuleStatus(1, true));
  EXPECT_EQ(take(lan, 0, 0), 1);

  smp->Remove();
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciReadConfig), config, 3));
  EXPECT_EQ(config[0], 0);
}

TEST_F(Simulator, ClaimsArePerSubtypeAndRefusedWhileAnotherClientHoldsThem) {
  test::OtherStation other(*sim);
  EXPECT_EQ(other.take(1, 1000), 1);
  EXPECT_EQ(take(lan, 1, 1000), 0) << "the replaceable module is held";
  EXPECT_EQ(take(lan, 0, 1000), 0) << "a probe finds the controller busy";
  EXPECT_FALSE(moduleCmd(lan, make_comand(ciSetBufferSize))) << "module commands of a non-holder";
  EXPECT_EQ(take(lan, 2, 1000), 1) << "the built-in module is free";
  EXPECT_EQ(take(lan, 0, 0), 1);
  EXPECT_EQ(other.take(0, 0), 1);
  EXPECT_EQ(take(lan, 1, 1000), 1);
}

TEST_F(Simulator, ErasesWritesAndReadsThroughTheProtocol) {
  ASSERT_EQ(take(lan, 1, 1000), 1);
  std::vector<uint8_t> page(264);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i * 3);
  ASSERT_TRUE(smp->SetContents(std::vector<uint8_t>(264 * 16, 0x00)));  // dirty blocks 0 and 1

  TComand erase = make_comand(ciEraseBlocks);
  erase.data[1] = 1;  // block 1, count 1
  erase.data[3] = 1;
  ASSERT_TRUE(moduleCmd(lan, erase, nullptr, 0, 270));
  TComand wa = make_comand(ciSetWriteAddr);
  wa.data[2] = 0x08;
  wa.data[3] = 0x40;  // 0x0840 = 2112 = page 8, the first page of the erased block 1
  ASSERT_TRUE(moduleCmd(lan, wa));
  ASSERT_TRUE(comm_set_data(lan, page.data(), page.size(), 500));

  TComand ra = make_comand(ciSetReadAddr);
  const uint32_t flash = ModuleFlashAddress(2112 - 4, 264, 9);
  ra.data[0] = static_cast<uint8_t>(flash >> 16);
  ra.data[1] = static_cast<uint8_t>(flash >> 8);
  ra.data[2] = static_cast<uint8_t>(flash);
  ASSERT_TRUE(moduleCmd(lan, ra));
  std::vector<uint8_t> back(268);
  const auto want = le({268});
  ASSERT_TRUE(comm_get_data(lan, ctReadData, want.data(), 4, back.data(), back.size(), 500));
  EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 4), std::vector<uint8_t>(4, 0x00));
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + 4, back.end()), page);
  EXPECT_EQ(smp->Contents()[264 * 16], 0xFF) << "page 16 lies outside the erased block";
}

// Each fault seen from one version exchange and one 256-byte read of the erased module.
TEST_F(Simulator, InjectedFaultsAsTheClientSeesThem) {
  struct Case {
    const char *what;
    UrvellFaults faults;
    bool ok;
  };
  auto f = [](auto set) {
    UrvellFaults x;
    set(x);
    return x;
  };
  const Case cases[] = {
      {"stale replies dropped by id", f([](auto &x) { x.stale = true; }), true},
      {"duplicates dropped by id", f([](auto &x) { x.duplicate = true; }), true},
      {"wrong checksum accepted", f([](auto &x) { x.bad_crc = true; }), true},
      {"delay within the time-out", f([](auto &x) { x.delay_ms = 30; }), true},
      {"refused", f([](auto &x) { x.refuse_percent = 100; }), false},
      {"dropped", f([](auto &x) { x.drop_percent = 100; }), false},
      {"short datagrams", f([](auto &x) { x.short_percent = 100; }), false},
      {"corrupt size", f([](auto &x) { x.corrupt_percent = 100; }), false},
      {"stopped answering", f([](auto &x) { x.stop_after = 0; }), false},
      {"delay beyond the time-out", f([](auto &x) { x.delay_ms = 300; }), false},
  };
  ASSERT_EQ(take(lan, 1, 1000), 1);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    sim->SetFaults(c.faults);
    uint8_t version[4] = {};
    EXPECT_EQ(comm_cmd(lan, ctGetVersion, nullptr, 0, version, 4, 250), c.ok);
    if (c.ok) {
      EXPECT_EQ(version[0] | version[1] << 8, 0x210);
    }
    TComand ra = make_comand(ciSetReadAddr);
    std::vector<uint8_t> buf(256, 0);
    const auto want = le({256});
    const bool read = moduleCmd(lan, ra) &&
                      comm_get_data(lan, ctReadData, want.data(), 4, buf.data(), buf.size(), 100);
    EXPECT_EQ(read, c.ok);
    if (c.ok) {
      EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xFF), 256);
    }
    sim->SetFaults({});
    std::this_thread::sleep_for(std::chrono::milliseconds(c.faults.delay_ms * 3));
  }

  UrvellFaults pull;
  pull.pull_after = 1;
  sim->SetFaults(pull);
  uint8_t config[3] = {};
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciReadConfig), config, 3));
  EXPECT_EQ(config[0], 1);
  ASSERT_TRUE(moduleCmd(lan, make_comand(ciReadConfig), config, 3));
  EXPECT_EQ(config[0], 0) << "pulled after one request";
}

TEST(SimulatorAddress, RefusesAddressesOutsideLoopback) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  for (bool allow : {false, true}) {
    UrvellConfig c;
    c.address = "10.1.2.3";
    c.allow_any_address = allow;
    UrvellSimulator s(c, nullptr, nullptr);
    std::string error;
    EXPECT_FALSE(s.Start(&error));
    EXPECT_NE(error.find("127.0.0.0/8"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace kalvort::sim
