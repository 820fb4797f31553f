// Image read and write and the quick module test through the real worker.

#include <sstream>

#include "DeviceTestSupport.h"

namespace kalvort::testing {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kPage = 264;
constexpr uint32_t kSize = 512 * kPage;  // 135168 bytes

std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  uint32_t x = seed;
  for (auto &b : v) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return v;
}

std::string AsString(const std::vector<uint8_t> &v) { return std::string(v.begin(), v.end()); }

using ActionImage = DeviceFixture;

TEST_F(ActionImage, ReadImageGivesExactModuleBytes) {
  const std::vector<uint8_t> content = Pattern(kSize, 3);
  ASSERT_TRUE(module->SetContents(content));
  std::stringstream stream(std::ios::in | std::ios::out | std::ios::binary);
  device->SetImageStream(&stream);
  const uint64_t reads = module->OperationCount(sim::ModuleOp::Read);
  const CompletionCall call = Run([&] { return device->StartReadImage(); });
  EXPECT_EQ(call.event, "ReadImage");
  EXPECT_EQ(call.error, deOK);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Read) - reads, kSize / 1024);
  EXPECT_EQ(stream.str(), AsString(content));
  EXPECT_EQ(device->ProgressPosition(), 100);
}

TEST_F(ActionImage, WriteImageErasesAllAndWritesWholePages) {
  struct Case {
    const char *what;
    size_t image_size;
    uint64_t pages;
  } cases[] = {
      {"1000 bytes", 1000, 4},                 // the fourth page carries 208 image bytes
      {"exact module size", kSize, 512},
      {"longer than the module", kSize + 700, 512},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(module->SetContents(std::vector<uint8_t>(kSize, 0x00)));
    const std::vector<uint8_t> image = Pattern(c.image_size, 11);
    std::stringstream stream(AsString(image), std::ios::in | std::ios::out | std::ios::binary);
    device->SetImageStream(&stream);
    const uint64_t erases = module->OperationCount(sim::ModuleOp::Erase);
    const uint64_t writes = module->OperationCount(sim::ModuleOp::Write);
    const CompletionCall call = Run([&] { return device->StartBurnImage(); });
    EXPECT_EQ(call.event, "BurnImage");
    EXPECT_EQ(call.error, deOK);
    EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase) - erases, 64u);
    EXPECT_EQ(module->OperationCount(sim::ModuleOp::Write) - writes, c.pages);
    std::vector<uint8_t> want(kSize, 0xFF);
    std::copy_n(image.begin(), std::min<size_t>(image.size(), kSize), want.begin());
    EXPECT_TRUE(module->Contents() == want);
  }
  device->SetImageStream(nullptr);
}

TEST_F(ActionImage, ImageRoundTripThroughFileSizedStream) {
  // Read an image from one module and write it onto another of the same kind.
  const std::vector<uint8_t> content = Pattern(kSize, 5);
  ASSERT_TRUE(module->SetContents(content));
  std::stringstream stream(std::ios::in | std::ios::out | std::ios::binary);
  device->SetImageStream(&stream);
  ASSERT_EQ(Run([&] { return device->StartReadImage(); }).error, deOK);
  ASSERT_EQ(stream.str().size(), kSize);
  module->Insert(kSmallModule);
  ASSERT_TRUE(device->DeviceOpen());
  ASSERT_TRUE(device->DeviceState().MP_connected);
  stream.seekg(0);
  ASSERT_EQ(Run([&] { return device->StartBurnImage(); }).error, deOK);
  EXPECT_TRUE(module->Contents() == content);
  device->SetImageStream(nullptr);
}

TEST_F(ActionImage, QuickTestPassesAndLeavesTestedBlocksErased) {
  ASSERT_TRUE(module->SetContents(std::vector<uint8_t>(kSize, 0x11)));
  std::vector<int> progress;
  device->SetProgressBar([&](int p) { progress.push_back(p); });
  const CompletionCall call = Run([&] { return device->StartQuickTest(); });
  device->SetProgressBar(nullptr);
  EXPECT_EQ(call.event, "Test");
  EXPECT_EQ(call.error, deOK);
  EXPECT_EQ(device->TestStage(), tsLastRead);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Write), 100u);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase), 26u);
  const std::vector<uint8_t> m = module->Contents();
  for (size_t k = 0; k < 104 * kPage; ++k) ASSERT_EQ(m[k], 0xFF) << k;
  EXPECT_EQ(m[104 * kPage], 0x11);
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);

  // The tested area reads as a blank catalog.
  EXPECT_EQ(Run([&] { return device->StartReadCatalog(); }).error, deOK);
  EXPECT_EQ(device->CatalogCount(), 0);
}

TEST_F(ActionImage, QuickTestFailsOnBadByte) {
  // A byte of page 7 reads 0xFF, which no pattern byte is: the read-back stops at page 7.
  module->CorruptByte(7 * kPage + 100, 0xFF);
  const CompletionCall call = Run([&] { return device->StartQuickTest(); });
  EXPECT_EQ(call.error, deOperationError);
  EXPECT_EQ(device->TestStage(), tsRead);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Read), 8u);
}

TEST_F(ActionImage, QuickTestWaitsForReadyUntilItsTimeout) {
  // One slot: the quick test allows 1000 ms; a module that never becomes ready never gets past
  // the first erase.
  device->SetMaxProgNum(1);
  module->SetStuckBusy(true);
  const auto start = std::chrono::steady_clock::now();
  const CompletionCall call = Run([&] { return device->StartQuickTest(); });
  EXPECT_EQ(call.error, deOperationTimeout);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 990ms);
  EXPECT_EQ(device->TestStage(), tsFirstErase);
  module->SetStuckBusy(false);
  EXPECT_EQ(Run([&] { return device->StartEraseCatalog(); }).error, deOK);
}

}  // namespace
}  // namespace kalvort::testing
