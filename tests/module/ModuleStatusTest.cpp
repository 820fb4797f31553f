#include "module/ModuleStatus.h"

#include <gtest/gtest.h>

namespace kalvort {
namespace {

struct StatusCase {
  uint8_t status;
  bool ready;
  bool connected;
  int page_bits, page_size, page_all, size;
  TMPtype type;
};

TEST(ModuleStatus, DecodesTheTable) {
  const StatusCase cases[] = {
      {0x9C, true, true, 9, 264, 2048, 540672, mptMP500},
      {0x2C, false, true, 10, 528, 4096, 2162688, mptMP2000},
      {0x80, true, true, 9, 264, 32768, 8650752, mptMP8000_new},
      {0xBC, true, true, 11, 1056, 8192, 8650752, mptMP8000},
      {0x8C, true, true, 9, 264, 512, 135168, mptNone},
      {0x94, true, true, 9, 264, 1024, 270336, mptNone},
      {0xA4, true, true, 9, 264, 4096, 1081344, mptNone},
      {0xB4, true, true, 10, 528, 8192, 4325376, mptNone},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "status 0x" << std::hex << int(c.status));
    TDeviceState s;
    s.MP_connected = true;
    s.MP_type = mptMP2000;
    DecodeModuleStatus(c.status, s);
    EXPECT_EQ(s.MP_ready, c.ready);
    EXPECT_EQ(s.MP_connected, c.connected);
    EXPECT_EQ(s.MP_page_bits, c.page_bits);
    EXPECT_EQ(s.MP_page_size, c.page_size);
    EXPECT_EQ(s.MP_page_all, c.page_all);
    EXPECT_EQ(s.MP_size, c.size);
    EXPECT_EQ(s.MP_type, c.type);
  }
}

TEST(ModuleStatus, IndexZeroMeansNoModuleAndKeepsTheGeometry) {
  TDeviceState s;
  s.MP_connected = true;
  s.MP_page_size = 528;
  s.MP_page_all = 4096;
  s.MP_size = 2162688;
  s.MP_type = mptMP2000;
  DecodeModuleStatus(0x04, s);
  EXPECT_FALSE(s.MP_connected);
  EXPECT_FALSE(s.MP_ready);
  EXPECT_EQ(s.MP_type, mptNone);
  EXPECT_EQ(s.MP_page_size, 528);
  EXPECT_EQ(s.MP_size, 2162688);
}

TEST(ModuleStatus, EncodingIsTheInverseOfDecoding) {
  for (int index = 0; index < kModuleDensityIndexCount; ++index) {
    for (bool ready : {false, true}) {
      const uint8_t status = EncodeModuleStatus(index, ready);
      EXPECT_EQ(ModuleDensityIndex(status), index);
      EXPECT_EQ((status & 0x80) != 0, ready);
      if (index == 0) continue;
      TDeviceState s;
      s.MP_connected = true;
      DecodeModuleStatus(status, s);
      EXPECT_TRUE(s.MP_connected);
      EXPECT_EQ(s.MP_page_all, ModuleGeometryRow(index).page_all);
      EXPECT_EQ(s.MP_type, ModuleTypeOfIndex(index));
    }
  }
  EXPECT_EQ(EncodeModuleStatus(3, true), 0x9C);
  EXPECT_EQ(EncodeModuleStatus(8, true), 0x80);
}

TEST(ModuleStatus, FlashAddressPutsThePageAboveTheOffsetBits) {
  EXPECT_EQ(ModuleFlashAddress(1000, 264, 9), 0x0006D0u);  // page 3, offset 208
  EXPECT_EQ(ModuleFlashAddress(0, 264, 9), 0u);
  EXPECT_EQ(ModuleFlashAddress(2047 * 264 + 263, 264, 9), (2047u << 9) | 263u);
  EXPECT_EQ(ModuleFlashAddress(8191 * 1056 + 1055, 1056, 11), (8191u << 11) | 1055u);
  EXPECT_EQ(ModuleFlashAddress(32767u * 264 + 5, 264, 9), 0xFFFE05u);
}

}  // namespace
}  // namespace kalvort
