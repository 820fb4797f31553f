// Hot-plug events that arrive while a chain of actions runs on the USB programmer: the owner
// thread receives them between the chain's steps, and they are handled only once the chain has
// closed the device.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RecordingUsbDll.h"
#include "transport/OwnerDispatch.h"
#include "transport/VirtualProgrammer.h"
#include "transport/WUSBDeviceUnit.h"
#include "workflow/ProjectTransfer.h"
#include "support/CatalogPrograms.h"

namespace kalvort {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<TVirtualProgrammer> makeProgrammer() {
  TVirtualProgrammerConfig config;  // in memory only
  config.density_index = 1;
  std::string error;
  return TVirtualProgrammer::Create(config, error);
}

ProgramImage pattern(size_t n, uint8_t seed) {
  ProgramImage v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

TEST(HotPlugDuringAChain, EventsWaitUntilTheChainHasClosedTheDevice) {
  std::shared_ptr<TVirtualProgrammer> programmer = makeProgrammer();
  // A second programmer of the same class, plugged and unplugged while the chain runs: its
  // events reach the device like those of its own programmer.
  std::unique_ptr<TVirtualProgrammer> second = makeProgrammer();
  ASSERT_TRUE(programmer && second);
  auto dispatcher = std::make_shared<TQueuedDispatcher>();
  auto dll = std::make_shared<test::RecordingUsbDll>(programmer);
  TWUSBDeviceClass device(dll, dispatcher);
  second->PlugOut();  // before the chain: handled at once
  EXPECT_EQ(dispatcher->Deliver(), 1u);

  const std::vector<ProgramImage> programs = {pattern(300, 1), pattern(1000, 2), pattern(40, 3)};
  Project project;
  ASSERT_TRUE(kalvort::testing::AddBinaryPrograms(project.Programs(), programs));

  // The owner thread (the window's, in the desktop program) delivers events as they come.
  std::atomic<bool> stop{false};
  std::thread owner([&] {
    while (!stop.load()) dispatcher->WaitAndDeliver(2ms);
  });

  ProjectTransfer transfer(device);
  int steps = 0;
  std::atomic<int> raised_in_chain{0};
  transfer.SetCallbacks({{}, [&](const std::string &) {
                           // Between two steps of the chain, on the chain's thread.
                           ++steps;
                           if (steps == 2) second->PlugIn();
                           if (steps == 3) second->PlugOut();
                           if (steps == 4) second->PlugIn();
                           if (steps < 2 || steps > 4) return;
                           while (dispatcher->Pending() > 0) std::this_thread::sleep_for(1ms);
                           std::this_thread::sleep_for(20ms);  // room for a wrong handling
                           ++raised_in_chain;
                         },
                         {}});
  dll->Clear();
  const TransferResult written = transfer.RunWriteProject(project);
  stop = true;
  owner.join();
  ASSERT_TRUE(written.ok()) << written.message;
  EXPECT_EQ(raised_in_chain.load(), 3) << "events delivered while the chain ran";

  // The chain's one opening and closing, then the held arrival (the last event): open, state,
  // close -- nothing of it in between the chain's steps.
  const std::vector<std::string> texts = dll->Texts();
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "InitUSB"), 2);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "CloseUSB"), 2);
  EXPECT_EQ(texts.front(), "InitUSB");
  const std::vector<std::string> arrival = {"InitUSB", "FlashUSB", "FlashUSB", "Read_SMP_config_byte",
                                            "FlashUSB", "CloseUSB"};
  EXPECT_TRUE(std::equal(arrival.begin(), arrival.end(), texts.end() - 6));

  device.CatalogClear();
  const TransferResult read = transfer.RunReadProject(project);
  ASSERT_TRUE(read.ok()) << read.message;
  ASSERT_EQ(device.CatalogCount(), static_cast<int>(programs.size()));
  for (int i = 0; i < device.CatalogCount(); ++i) {
    const TDevCatalogEntry e = device.Catalog(i);
    ASSERT_TRUE(e.p_buffer);
    EXPECT_EQ(ProgramImage(e.p_buffer->begin(), e.p_buffer->begin() + e.prog_size),
              programs[static_cast<size_t>(i)]);
  }
}

}  // namespace
}  // namespace kalvort
