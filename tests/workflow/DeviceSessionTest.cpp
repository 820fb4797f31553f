// DeviceSession against a controller simulator: the status poll and the open-and-check step in
// each condition of the device (ready, module held by another station, no module, gone).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <cstring>
#include <functional>
#include <vector>

#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"
#include "support/UdpPeer.h"
#include "transport/LanProtocol.h"
#include "workflow/DeviceSession.h"

namespace kalvort::workflow {
namespace {

std::unique_ptr<DeviceSession> SessionFor(const sim::UrvellSimulator &controller, TDevSubtype subtype) {
  DeviceTarget target;
  std::string error;
  EXPECT_TRUE(ParseLanAddress(controller.Config().address, target, error)) << error;
  target.subtype = subtype;
  auto session = DeviceSession::Create(target, 1, error);
  EXPECT_TRUE(session) << error;
  return session;
}

TEST(DeviceSession, PollAndOpenAndCheckFollowTheController) {
  sim::UrvellConfig config;
  config.version = 0x01020300;
  auto controller = test::startLoopbackSimulator(std::make_shared<sim::ModuleMemory>(5), nullptr, config);
  auto smp = SessionFor(*controller, dstSMP);
  auto wmp = SessionFor(*controller, dstWMP);
  ASSERT_TRUE(smp && wmp);
  EXPECT_EQ(smp->ProjectDeviceType(), dtSMP2C42);
  EXPECT_EQ(smp->Device().TimeoutFactor(), 1);

  StatusTexts t = StatusTextsFor(smp->Poll());
  EXPECT_EQ(t.device, "Модуль Урвелл. v 1.2.3");
  EXPECT_EQ(t.module, "СМП-2000 ");
  EXPECT_TRUE(t.connected);
  EXPECT_TRUE(t.force_2c42);
  EXPECT_FALSE(t.full_commands);
  std::string message;
  ASSERT_TRUE(smp->OpenAndCheck(message)) << message;
  EXPECT_TRUE(smp->IsOpen());
  EXPECT_EQ(smp->State().MP_size, 0x210000);
  smp->Close();

  // No built-in module in this controller.
  t = StatusTextsFor(wmp->Poll());
  EXPECT_EQ(t.device, "Модуль Урвелл. v 1.2.3");
  EXPECT_EQ(t.module, "");
  EXPECT_EQ(wmp->OpenAndCheckOutcome(message), OpenOutcome::NoModule);
  EXPECT_EQ(message, "МП не подключен");
  EXPECT_FALSE(wmp->IsOpen());

  {
    test::OtherStation other(*controller);
    ASSERT_EQ(other.take(sim::UrvellSimulator::kSubtypeSMP, 1000), 1);
    EXPECT_EQ(StatusTextsFor(smp->Poll()).device, "Модуль памяти занят");
    EXPECT_EQ(smp->OpenAndCheckOutcome(message), OpenOutcome::Busy);
    EXPECT_EQ(message, "Модуль памяти занят");
    EXPECT_FALSE(smp->IsOpen());
    other.take(sim::UrvellSimulator::kSubtypeSMP, 0);
  }

  controller->Stop();
  t = StatusTextsFor(smp->Poll());
  EXPECT_EQ(t.device, "Устройство не отвечает");
  EXPECT_FALSE(t.connected);
  EXPECT_EQ(smp->OpenAndCheckOutcome(message), OpenOutcome::NotConnected);
  EXPECT_EQ(message, "Устройство не отвечает");
}

// A controller that stops answering at any point of the open-and-check step -- the stop, the
// take or the status requests -- is one that does not answer: not a busy module, not a missing
// one. The USB programmer that is not there keeps its own words.
TEST(DeviceSession, AControllerThatDoesNotAnswerSaysSo) {
  using test::Datagram;
  const auto answer = [](const Datagram &req, Datagram payload) {
    uint32_t id;
    std::memcpy(&id, req.data() + 4, 4);
    Datagram out(kMsgHeaderSize + payload.size());
    build_message(mtCommand, req[1], id, payload.data(), payload.size(), out.data());
    return std::vector<Datagram>{out};
  };
  // Answers the module commands (stop, status with a module) and, when `takes`, the take; never
  // the version request.
  const auto upTo = [&](bool module_commands, bool takes) {
    return [=](const Datagram &req) -> std::vector<Datagram> {
      if (req.size() < kMsgHeaderSize + 2) return {};
      if (req[1] == ctModule && module_commands) return answer(req, {1, 0, 0x8C});
      if (req[1] == ctTakeDevice && takes) return answer(req, {1, 0, 0, 0, 0, 0, 0, 0});
      return {};
    };
  };
  const struct {
    const char *what;
    std::function<std::vector<Datagram>(const Datagram &)> handler;
  } cases[] = {
      {"silent", upTo(false, false)},
      {"stop answered, take not", upTo(true, false)},
      {"stop and take answered, status not", upTo(true, true)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    test::UdpPeer peer(c.handler);
    DeviceTarget target;
    target.usb = false;
    target.ip = "127.0.0.1";
    target.port = peer.port();
    std::string error, message;
    auto session = DeviceSession::Create(target, 1, error);
    ASSERT_TRUE(session) << error;
    const StatusTexts t = StatusTextsFor(session->Poll());
    EXPECT_EQ(t.device, "Устройство не отвечает");
    EXPECT_FALSE(t.connected);
    EXPECT_EQ(session->OpenAndCheckOutcome(message), OpenOutcome::NotConnected);
    EXPECT_EQ(message, "Устройство не отвечает");
    EXPECT_FALSE(session->IsOpen());
  }
  EXPECT_EQ(OpenFailureText(deNotConnected, dtWMP2C42), "Устройство не отвечает");
  EXPECT_EQ(OpenFailureText(deNotConnected, dtProg), "Устройство не подключено");
  EXPECT_EQ(OpenFailureText(deDeviceBusy, dtSMP2C42), "Модуль памяти занят");
}

}  // namespace
}  // namespace kalvort::workflow
