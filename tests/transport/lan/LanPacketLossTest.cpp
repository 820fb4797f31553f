// A project write to a controller that loses a tenth of the requests: the requests that are safe
// to repeat are repeated, so the write goes through for (nearly) every seed of the loss.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "support/CatalogPrograms.h"
#include "support/LoopbackSimulator.h"
#include "transport/LANDeviceUnit.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort {
namespace {

using testing::PatternImage;

TEST(LanPacketLoss, ProjectWritesGoThroughAtTenPercentLoss) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  int written = 0;
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    auto smp = std::make_shared<sim::ModuleMemory>(1);  // 512 pages of 264 bytes
    sim::UrvellConfig config;
    config.faults.drop_percent = 10;
    config.faults.seed = seed;
    auto controller = test::startLoopbackSimulator(smp, nullptr, config);
    const std::vector<ProgramImage> programs = {PatternImage(300, seed), PatternImage(1200, seed + 100)};

    TLANDeviceClass device(controller->Config().address, 30000);
    device.SetDevSubtype(dstSMP);
    // A lost page costs a 500 ms time-out: the longest time-out factor leaves room for it.
    device.SetTimeoutFactor(5);
    Project project;
    ASSERT_TRUE(kalvort::testing::AddBinaryPrograms(project.Programs(), programs));
    ProjectTransfer transfer(device);
    const TransferResult result = transfer.RunWriteProject(project);
    if (!result.ok()) continue;
    ++written;

    // What was reported written is on the module, each program at its first page.
    const std::vector<uint8_t> module = smp->Contents();
    for (int i = 0; i < 2; ++i) {
      const TDevCatalogEntry e = device.Catalog(i);
      const size_t at = static_cast<size_t>(e.first_page) * 264;
      ASSERT_LE(at + e.prog_size, module.size());
      EXPECT_EQ(ProgramImage(module.begin() + static_cast<std::ptrdiff_t>(at),
                             module.begin() + static_cast<std::ptrdiff_t>(at + e.prog_size)),
                programs[static_cast<size_t>(i)]);
    }
  }
  EXPECT_GE(written, 9);
}

}  // namespace
}  // namespace kalvort
