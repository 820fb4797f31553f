#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "formats/ProgramViews.h"

using namespace kalvort;

TEST(ProgramViews, HexDumpLines) {
  const uint8_t four[] = {0x47, 0x30, 0xB1, 0x0A};
  EXPECT_EQ(HexDumpText(four, 4), "000000: 47 30 B1 0A ");
  EXPECT_EQ(HexDumpText(four, 0), "");

  std::vector<uint8_t> bytes(20);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0xF0});
  const std::string twenty = HexDumpText(bytes.data(), 16);
  EXPECT_EQ(twenty, "000000: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF ");
  EXPECT_EQ(twenty.size(), 56u);
  EXPECT_EQ(HexDumpText(bytes.data(), 20), twenty + "\n000010: 00 01 02 03 ");

}

TEST(ProgramViews, RawBytesUpToZeroWithVisibleControls) {
  const uint8_t raw[] = {'A', 0xC0, '\r', '\n', 0x01, 'B', 0x7F, '\n', 'C', 0, 'D'};
  const ProgramLines lines = RawBinaryLines(raw, sizeof raw);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], u"A\u00C0");  // one character per byte, by code point
  EXPECT_EQ(lines[1], u"\u0001B\u007F");
  EXPECT_EQ(lines[2], u"C");
  EXPECT_EQ(VisibleControlText(lines[1]), u"\u2401B\u2421");
  EXPECT_EQ(VisibleControlText(u"\t\u001F "), u"\u2409\u241F ");
  EXPECT_TRUE(RawBinaryLines(raw, 0).empty());
}
