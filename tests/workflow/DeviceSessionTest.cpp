// DeviceSession against a controller simulator: the status poll and the open-and-check step in
// each condition of the device (ready, module held by another station, no module, gone).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"
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
  EXPECT_EQ(t.device, "Устройство не подключено");
  EXPECT_FALSE(t.connected);
  EXPECT_EQ(smp->OpenAndCheckOutcome(message), OpenOutcome::NotConnected);
  EXPECT_EQ(message, "Устройство не подключено");
}

}  // namespace
}  // namespace kalvort::workflow
