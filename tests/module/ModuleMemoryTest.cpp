#include "module/ModuleMemory.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/TempDir.h"

namespace kalvort::sim {
namespace {

using namespace std::chrono_literals;

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

std::vector<uint8_t> readAt(ModuleMemory &m, uint32_t linear, size_t n) {
  const ModuleGeometry g = m.Geometry();
  std::vector<uint8_t> out(n);
  EXPECT_TRUE(m.SetReadAddress(ModuleFlashAddress(linear, g.page_size, g.page_bits)));
  EXPECT_TRUE(m.Read(out.data(), n));
  return out;
}

TEST(ModuleMemory, EveryGeometryRowStartsErasedAndReportsItsStatus) {
  for (int index = 1; index < kModuleDensityIndexCount; ++index) {
    ModuleMemory m(index);
    const ModuleGeometry g = ModuleGeometryRow(index);
    EXPECT_TRUE(m.Present());
    EXPECT_EQ(m.StatusByte(), EncodeModuleStatus(index, true));
    auto bytes = m.Contents();
    ASSERT_EQ(bytes.size(), static_cast<size_t>(g.size()));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xFF), g.size());
  }
  ModuleMemory empty(0);
  EXPECT_FALSE(empty.Present());
  EXPECT_FALSE(empty.Ready());
  EXPECT_TRUE(empty.Contents().empty());
}

TEST(ModuleMemory, PagesWrittenLinearlyReadBackThroughFlashAddresses) {
  for (int index : {1, 5, 7}) {
    ModuleMemory m(index);
    const ModuleGeometry g = m.Geometry();
    const auto data = pattern(static_cast<size_t>(g.page_size) * 3, 0x11);
    const uint32_t first = 5 * static_cast<uint32_t>(g.page_size);
    ASSERT_TRUE(m.SetWriteAddress(first));
    for (int p = 0; p < 3; ++p)  // consecutive pages need no new address
      ASSERT_TRUE(m.Write(data.data() + p * g.page_size, static_cast<size_t>(g.page_size)));
    // A read that starts inside a page runs on into the next ones.
    const auto back = readAt(m, first + 10, data.size() - 10);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + 10)) << "index " << index;
    EXPECT_EQ(readAt(m, first - 1, 1)[0], 0xFF);
  }
}

TEST(ModuleMemory, ProgrammingOnlyClearsBitsAndEraseBlocksAreEightPages) {
  ModuleMemory m(1);
  const uint32_t page = 264;
  const uint8_t a[2] = {0xF0, 0x3C};
  const uint8_t b[2] = {0x0F, 0xFF};
  ASSERT_TRUE(m.SetWriteAddress(8 * page - 1));  // last byte of block 0, first of block 1
  ASSERT_TRUE(m.Write(a, 2));
  ASSERT_TRUE(m.SetWriteAddress(8 * page - 1));
  ASSERT_TRUE(m.Write(b, 2));
  EXPECT_EQ(readAt(m, 8 * page - 1, 2), (std::vector<uint8_t>{0x00, 0x3C}));

  ASSERT_TRUE(m.EraseBlocks(1, 1));
  EXPECT_EQ(readAt(m, 8 * page - 1, 2), (std::vector<uint8_t>{0x00, 0xFF}));
  ASSERT_TRUE(m.EraseBlocks(0, 64));  // 512 pages = 64 blocks
  EXPECT_FALSE(m.EraseBlocks(63, 2));
  EXPECT_FALSE(m.EraseBlocks(0, 0));
  auto bytes = m.Contents();
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xFF), 135168);
}

TEST(ModuleMemory, RejectsAddressesAndTransfersOutsideTheModule) {
  ModuleMemory m(1);  // 512 pages of 264 bytes, 9 page bits
  uint8_t buf[16] = {};
  EXPECT_FALSE(m.Read(buf, 1)) << "no read address yet";
  EXPECT_FALSE(m.SetReadAddress((3u << 9) | 264u)) << "offset beyond the page";
  EXPECT_FALSE(m.SetReadAddress(512u << 9)) << "page beyond the module";
  EXPECT_FALSE(m.SetWriteAddress(135168));
  ASSERT_TRUE(m.SetWriteAddress(135168 - 8));
  EXPECT_FALSE(m.Write(buf, 16)) << "would run past the end";
  EXPECT_TRUE(m.Write(buf, 8));
  // A continuous read wraps from the last byte to byte 0.
  ASSERT_TRUE(m.SetReadAddress((511u << 9) | 263u));
  ASSERT_TRUE(m.Read(buf, 2));
  EXPECT_EQ(buf[0], 0x00);
  EXPECT_EQ(buf[1], 0xFF);
  m.Stop();
  EXPECT_FALSE(m.Read(buf, 1)) << "stop ends the sequential read";
}

TEST(ModuleMemory, BusyAfterEraseAndWriteAndTheNextOperationWaits) {
  ModuleMemory m(1);
  m.SetBusyTimes(150ms, 150ms);
  ASSERT_TRUE(m.EraseBlocks(0, 2));
  EXPECT_FALSE(m.Ready());
  EXPECT_EQ(m.StatusByte() & 0x80, 0);
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(m.SetWriteAddress(0));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 250ms);  // the erase cycle of 2 blocks
  EXPECT_TRUE(m.Ready());
  uint8_t byte = 0;
  ASSERT_TRUE(m.Write(&byte, 1));
  EXPECT_FALSE(m.Ready());
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(m.Ready());
  EXPECT_EQ(m.StatusByte(), EncodeModuleStatus(1, true));
}

TEST(ModuleMemory, InjectedFaults) {
  ModuleMemory m(1);
  uint8_t buf[4];
  // Two reads pass, the next two fail, then reads work again.
  m.FailOperation(ModuleOp::Read, 2, 2);
  ASSERT_TRUE(m.SetReadAddress(0));
  const bool results[] = {m.Read(buf, 1), m.Read(buf, 1), m.Read(buf, 1), m.Read(buf, 1),
                          m.Read(buf, 1)};
  EXPECT_EQ(std::vector<bool>(std::begin(results), std::end(results)),
            (std::vector<bool>{true, true, false, false, true}));

  m.FailOperation(ModuleOp::Erase, 0, -1);
  EXPECT_FALSE(m.EraseBlocks(0, 1));
  EXPECT_FALSE(m.EraseBlocks(0, 1));
  m.ClearFaults();
  EXPECT_TRUE(m.EraseBlocks(0, 1));

  // A byte that reads back wrong; the stored byte stays as written.
  m.CorruptByte(300, 0x12);
  EXPECT_EQ(readAt(m, 299, 3), (std::vector<uint8_t>{0xFF, 0x12, 0xFF}));
  EXPECT_EQ(m.Contents()[300], 0xFF);
  m.ClearFaults();

  m.SetStuckBusy(true);
  EXPECT_EQ(m.StatusByte(), EncodeModuleStatus(1, false));
  m.SetStuckBusy(false);

  // Pulled after three more operations: the fourth finds no module.
  m.RemoveAfterOperations(3);
  EXPECT_TRUE(m.SetReadAddress(0));
  EXPECT_TRUE(m.Read(buf, 4));
  EXPECT_TRUE(m.Read(buf, 4));
  EXPECT_FALSE(m.Read(buf, 4));
  EXPECT_FALSE(m.Present());
  EXPECT_EQ(m.StatusByte(), EncodeModuleStatus(0, false));
  EXPECT_FALSE(m.SetWriteAddress(0));

  m.Insert(3);
  EXPECT_TRUE(m.Present());
  EXPECT_EQ(m.Geometry().page_all, 2048);
}

TEST(ModuleMemory, ImageFileRoundTripAndSizeCheck) {
  test::TempDir dir;
  const std::string path = dir.file("module.bin").string();
  ModuleMemory a(1);
  const auto data = pattern(1000, 3);
  ASSERT_TRUE(a.SetContents(data));
  ASSERT_TRUE(a.SaveFile(path));
  ModuleMemory b(1);
  ASSERT_TRUE(b.LoadFile(path));
  EXPECT_EQ(b.Contents(), a.Contents());
  ModuleMemory other(2);
  EXPECT_FALSE(other.LoadFile(path)) << "file of another module size";
  EXPECT_EQ(other.Contents()[0], 0xFF);
  EXPECT_FALSE(b.LoadFile(dir.file("missing.bin").string()));
}

TEST(ModuleMemory, SharedBetweenThreads) {
  ModuleMemory m(1);
  m.SetBusyTimes(0us, 10us);
  std::thread writer([&] {
    std::vector<uint8_t> page(264, 0x00);
    for (int i = 0; i < 50; ++i) {
      m.SetWriteAddress(static_cast<uint32_t>(i) * 264);
      m.Write(page.data(), page.size());
    }
  });
  std::thread reader([&] {
    uint8_t buf[264];
    for (int i = 0; i < 50; ++i) {
      (void)m.StatusByte();
      if (m.SetReadAddress(static_cast<uint32_t>(i) << 9)) m.Read(buf, sizeof buf);
    }
  });
  writer.join();
  reader.join();
  auto bytes = m.Contents();
  EXPECT_EQ(std::count(bytes.begin(), bytes.begin() + 50 * 264, 0x00), 50 * 264);
}

}  // namespace
}  // namespace kalvort::sim
