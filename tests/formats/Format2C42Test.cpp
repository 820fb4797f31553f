#include <gtest/gtest.h>

#include "FormatTestUtil.h"

using namespace kalvort;
using namespace kalvort::test;

TEST(Format2C42, ParityBit) {
  const std::pair<std::uint8_t, std::uint8_t> cases[] = {
      {'G', 0x47}, {'X', 0xD8}, {'1', 0xB1}, {'0', 0x30}, {' ', 0xA0}, {'\r', 0x8D}, {0xD8, 0xD8},
      {0x80, 0x00}, {0x08, 0x88}, {0x7F, 0xFF}};
  for (auto [in, out] : cases) EXPECT_EQ(Set7thParityBit(in), out) << int(in);
}

struct WriteCase {
  ProgramLines lines;
  bool delSpace, delEmpty;
  const char *image;
};

TEST(Format2C42, WritesImages) {
  const WriteCase cases[] = {
      {{u"ABC^", u"DEF"}, false, false, "41 42 C3 0A 00 44 C5 C6 0A"},
      {{u"^^^^", u"G01"}, false, false, "00 00 00 00 47 30 B1 0A"},  // leader: no LF
      {{u"G01", u"^^^^"}, false, false, "47 30 B1 0A 00 00 00 00"},
      {{u"G01^", u"X10^"}, false, false, "47 30 B1 0A 00 D8 B1 30 0A 00"},
      {{u"^ ^"}, true, false, "00 0A 00"},   // the dropped space ends the NUL run
      {{u"^ ^"}, false, false, "00 A0 0A 00"},
      {{u"^^", u""}, false, true, "00 00 0A"},  // NULs count as written for del_empty_string
      {{u"G1", u"", u"X1"}, false, true, "47 B1 0A D8 B1 0A"},
      {{u"G1", u"", u"X1"}, false, false, "47 B1 0A 0A D8 B1 0A"},
      {{u"BSX", u"BX"}, false, false, "88 D8 0A 42 D8 0A"},
      {{u"g01"}, false, false, "E7 30 B1 0A"},                // no case folding
      {{u"G\t1 X"}, true, false, "47 B1 D8 0A"},              // tabs always dropped
      {{u"\t"}, false, false, "0A"},                           // only a tab still ends a block
      {{u"a\rb\nc"}, false, false, "E1 8D E2 0A 63 0A"},      // lone CR and LF are characters
      {{u"B", u"S"}, false, false, "42 0A 53 0A"},             // "BS" split by a line end
  };
  for (const auto &c : cases) {
    const Outcome r = write2C42(c.lines, c.delSpace, c.delEmpty);
    ASSERT_TRUE(r.ok) << c.image;
    EXPECT_EQ(r.out, hex(c.image)) << c.image;
  }
}

TEST(Format2C42, WriteFailures) {
  struct Case {
    ProgramLines lines;
    bool delSpace, delEmpty;
    int code, line;
  } cases[] = {
      {{u"G01", u"X1", u"Y Д"}, false, false, 4, 3},
      {{u"\u0409\u040C"}, false, false, 4, 1},  // what reading makes of EM
      {{u"G1 \u00E9"}, false, false, 4, 1},
      {{u"  ", u" "}, true, true, 5, 3},
      {{u"", u"", u""}, false, true, 5, 4},
      {{u"\t\t"}, false, true, 5, 2},
  };
  for (const auto &c : cases) {
    const Outcome r = write2C42(c.lines, c.delSpace, c.delEmpty);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.line, c.line);
  }
}

TEST(Format2C42, ReadsImages) {
  const std::pair<const char *, std::string> cases[] = {
      {"41 42 C3 0A 00 44 C5 C6 0A", "ABC^\r\nDEF\r\n"},
      {"00 00 00 00 47 30 B1 0A", "^^^^\r\nG01\r\n"},
      {"47 30 B1 0A 00 00 00 00", "G01^^^^\r\n"},  // LF before NUL is the writer's separator
      {"47 30 B1 0A 00 D8 B1 30 0A 00", "G01^\r\nX10^\r\n"},
      {"0A", "\r\n"},
      {"00", "^\r\n"},
      {"C1", "A"},
      {"88 19 8A 8D", "BS\x8A\x8D\n\r"},
      {"0A 0A 00", "\r\n^\r\n"},
  };
  for (const auto &[image, text] : cases) {
    const Outcome r = read2C42(hex(image));
    ASSERT_TRUE(r.ok) << image;
    EXPECT_EQ(std::string(r.out.begin(), r.out.end()), text) << image;
  }
}

TEST(Format2C42, RoundTripsEditorText) {
  const ProgramLines programs[] = {
      {u"^^^^", u"%", u"N1 G01 X100 Z-20 F200^", u"M02^", u"^^^^"},
      {u"G01^", u"X10^"},
      {u"BS LINE", u"T12 M6"},
  };
  for (const auto &lines : programs) {
    const Outcome w = write2C42(lines);
    ASSERT_TRUE(w.ok);
    for (std::uint8_t b : w.out) EXPECT_EQ(b, Set7thParityBit(b));  // even parity throughout
    const Outcome r = read2C42(w.out);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(linesOf(r.out), lines);
  }
}
