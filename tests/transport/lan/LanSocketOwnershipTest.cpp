// Several TLANDeviceClass objects in one process: a project write on one object runs to the end
// while another thread keeps creating probe objects and polling the same and another controller.

#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "support/CatalogPrograms.h"
#include "support/LoopbackSimulator.h"
#include "transport/LANDeviceUnit.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort {
namespace {

// Descriptors this process holds open now.
int openDescriptorCount() {
  DIR *dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int n = 0;
  while (const dirent *e = readdir(dir))
    if (e->d_name[0] != '.') ++n;
  closedir(dir);
  return n - 1;  // the directory stream itself
}

using testing::PatternImage;

// One status poll as the desktop program runs it: open, read the state, close. True when the
// controller answered with a module it granted.
bool poll(TLANDeviceClass &device) {
  const bool granted = device.DeviceOpen() && device.LastError() == deOK;
  const bool module = device.DeviceState().MP_connected;
  device.DeviceClose();
  return granted && module;
}

TEST(LanSocketOwnership, ProjectWriteCompletesWhileAnotherThreadProbesAndPolls) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  auto smp = std::make_shared<sim::ModuleMemory>(1);
  auto sim = test::startLoopbackSimulator(smp);
  auto other = test::startLoopbackSimulator(std::make_shared<sim::ModuleMemory>(3));
  const std::string here = sim->Config().address, there = other->Config().address;
  const int descriptors_before = openDescriptorCount();

  std::vector<ProgramImage> programs = {PatternImage(10, 1), PatternImage(700, 2), PatternImage(2000, 3)};
  {
    TLANDeviceClass device(here, 30000);
    device.SetDevSubtype(dstSMP);
    Project project;
    ASSERT_TRUE(kalvort::testing::AddBinaryPrograms(project.Programs(), programs));
    ProjectTransfer transfer(device);

    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0}, answered_there{0};
    std::thread noise([&] {
      // A status poll object for the other controller that lives across rounds, and fresh
      // probe and poll objects for both addresses every round.
      TLANDeviceClass poller(there, 30000);
      poller.SetDevSubtype(dstSMP);
      while (!stop.load()) {
        for (const std::string &address : {here, there}) {
          TLANDeviceClass probe(address, 30000);  // creating it opens and closes once
          poll(probe);
          TLANDeviceClass status(address, 30000);
          status.SetDevSubtype(dstSMP);
          poll(status);
        }
        if (poll(poller)) ++answered_there;
        ++rounds;
      }
    });

    const TransferResult written = transfer.RunWriteProject(project);
    // Some rounds while the write ran, then a few more after it.
    const int rounds_during = rounds.load();
    while (rounds.load() < rounds_during + 2) std::this_thread::yield();
    stop = true;
    noise.join();
    ASSERT_TRUE(written.ok()) << written.message;
    EXPECT_GT(rounds_during, 0) << "the other thread polled while the project was written";
    EXPECT_GT(answered_there.load(), 0) << "the other controller answered its poller";

    device.CatalogClear();
    const TransferResult read = transfer.RunReadProject(project);
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(device.CatalogCount(), static_cast<int>(programs.size()));
    for (int i = 0; i < device.CatalogCount(); ++i) {
      const TDevCatalogEntry e = device.Catalog(i);
      ASSERT_TRUE(e.p_buffer);
      EXPECT_EQ(ProgramImage(e.p_buffer->begin(), e.p_buffer->begin() + e.prog_size),
                programs[static_cast<size_t>(i)])
          << i;
    }
  }
  EXPECT_EQ(openDescriptorCount(), descriptors_before) << "a socket was left open";
}

}  // namespace
}  // namespace kalvort
