#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "support/TempDir.h"
#include "transport/HotPlugHub.h"
#include "transport/USBDetect.h"
#include "transport/VirtualProgrammer.h"

namespace kalvort {
namespace {

constexpr TGUID kOtherClass{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};

struct Recorder {
  std::vector<TDeviceOperation> ops;
  std::vector<std::thread::id> threads;
  TDeviceChangeEvent handler() {
    return [this](TUSBDetector *, TDeviceOperation op) {
      ops.push_back(op);
      threads.push_back(std::this_thread::get_id());
    };
  }
};

std::unique_ptr<TVirtualProgrammer> makeProgrammer() {
  TVirtualProgrammerConfig config;  // in memory only
  config.density_index = 1;
  std::string error;
  return TVirtualProgrammer::Create(config, error);
}

TEST(USBDetect, OneEventPerPlugAndUnplugOnTheOwnerThread) {
  auto dispatcher = std::make_shared<TQueuedDispatcher>();
  TUSBDetector detector(kUsbProgrammerClassGUID, dispatcher);
  Recorder rec;
  detector.SetOnChange(rec.handler());
  auto programmer = makeProgrammer();
  ASSERT_NE(programmer, nullptr);

  // Plugged from another thread; delivered where the owner asks for it.
  std::thread plugger([&] {
    programmer->PlugOut();
    programmer->PlugOut();  // already out: nothing more
    programmer->PlugIn();
    programmer->PlugIn();
  });
  plugger.join();
  EXPECT_TRUE(rec.ops.empty());
  EXPECT_EQ(dispatcher->Deliver(), 2u);
  EXPECT_EQ(rec.ops, (std::vector<TDeviceOperation>{doRemove, doInsert}));
  for (auto id : rec.threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(USBDetect, SameClassDoesNotReRegisterAnotherRegistersForItOnly) {
  auto dispatcher = std::make_shared<TQueuedDispatcher>();
  TUSBDetector detector(kUsbProgrammerClassGUID, dispatcher);
  Recorder rec;
  detector.SetOnChange(rec.handler());
  const uint64_t handle = detector.NotifyHandle();
  ASSERT_NE(handle, 0u);
  const uint64_t made = THotPlugHub::Instance().RegistrationsMade();

  detector.SetClassGUID(kUsbProgrammerClassGUID);
  EXPECT_EQ(detector.NotifyHandle(), handle);
  EXPECT_EQ(THotPlugHub::Instance().RegistrationsMade(), made);

  detector.SetClassGUID(kOtherClass);
  EXPECT_EQ(detector.ClassGUID(), kOtherClass);
  EXPECT_NE(detector.NotifyHandle(), handle);
  EXPECT_EQ(THotPlugHub::Instance().RegistrationsMade(), made + 1);
  EXPECT_EQ(THotPlugHub::Instance().RegistrationsAlive(kUsbProgrammerClassGUID), 0);
  THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doInsert);
  THotPlugHub::Instance().Broadcast(kOtherClass, doRemove);
  dispatcher->Deliver();
  EXPECT_EQ(rec.ops, std::vector<TDeviceOperation>{doRemove});
}

TEST(USBDetect, NothingArrivesAfterCloseOrDestruction) {
  auto dispatcher = std::make_shared<TQueuedDispatcher>();
  Recorder rec;
  {
    TUSBDetector detector(kUsbProgrammerClassGUID, dispatcher);
    detector.SetOnChange(rec.handler());
    THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doInsert);  // queued, not delivered
    detector.Close();
    EXPECT_EQ(detector.NotifyHandle(), 0u);
    THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doRemove);
    dispatcher->Deliver();
    EXPECT_TRUE(rec.ops.empty());

    detector.Open();
    THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doInsert);
  }
  // The detector is gone with an event still queued for it.
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  EXPECT_TRUE(rec.ops.empty());
  EXPECT_EQ(THotPlugHub::Instance().RegistrationsAlive(kUsbProgrammerClassGUID), 0);
}

TEST(USBDetect, AFailingHandlerDoesNotStopTheListener) {
  auto dispatcher = std::make_shared<TQueuedDispatcher>();
  TUSBDetector detector(kUsbProgrammerClassGUID, dispatcher);
  int calls = 0;
  detector.SetOnChange([&](TUSBDetector *, TDeviceOperation) {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doInsert);
  THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doRemove);
  dispatcher->Deliver();
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace kalvort
