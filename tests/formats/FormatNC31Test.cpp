#include <gtest/gtest.h>

#include "FormatTestUtil.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

// Slot s of a written image.
Bytes slot(const Bytes &image, std::size_t s) {
  return Bytes(image.begin() + s * 4, image.begin() + s * 4 + 4);
}

std::string text(const Outcome &r) { return std::string(r.out.begin(), r.out.end()); }

// An image of `words` (hex, four bytes each) from slot 0, the rest empty.
Bytes imageOf(const std::vector<const char *> &words) {
  Bytes image;
  for (const char *w : words) {
    const Bytes b = hex(w);
    image.insert(image.end(), b.begin(), b.end());
  }
  while (image.size() < kNC31Slots * 4) {
    const Bytes empty = hex("00 80 00 00");
    image.insert(image.end(), empty.begin(), empty.end());
  }
  image.resize(kNC31ImageSize, 0);
  return image;
}

}  // namespace

TEST(FormatNC31, BcdAndWordHelpers) {
  const std::pair<std::int32_t, std::int32_t> bcd[] = {
      {0, 0}, {7, 0x7}, {123456, 0x123456}, {999999, 0x999999}, {1000000, 0xA00000},
      {1599999, 0xF99999}};
  for (auto [v, packed] : bcd) {
    EXPECT_EQ(intToBCD(v), packed) << v;
    EXPECT_EQ(BCDToint(packed), v) << v;
  }
  // From 1600000 on the remainder is ORed in unmasked: 16 hundred-thousands leave a 0 nibble.
  EXPECT_EQ(intToBCD(1600000), 1600000);
  EXPECT_EQ(BCDToint(0xFFFFFF), 1666665);
  EXPECT_EQ(InvWrd(0x11223344u), 0x44332211u);

  NC31Word w = {0, 0x01, 0, 0};
  EXPECT_TRUE(add_num(-100, w));
  EXPECT_EQ(Bytes(w.begin(), w.end()), hex("FF 01 9C FF"));
  w = {0, 0x03, 0, 0};
  EXPECT_FALSE(add_BCD(-1, w));
  EXPECT_EQ(Bytes(w.begin(), w.end()), hex("00 03 00 00"));
  EXPECT_TRUE(add_BCD(123456, w));
  EXPECT_EQ(Bytes(w.begin(), w.end()), hex("12 03 56 34"));
}

TEST(FormatNC31, WritesWords) {
  struct Case {
    ProgramLines lines;
    std::vector<std::pair<std::size_t, const char *>> slots;  // slot, word
  } cases[] = {
      {{u"N0000 G1 X100 Z200"}, {{0, "00 03 01 00"}, {1, "00 01 64 00"}, {2, "00 82 C8 00"}, {3, "00 80 00 00"}}},
      {{u"X-100 Z1"}, {{0, "FF 01 9C FF"}}},
      {{u"U100"}, {{0, "00 C1 64 00"}}},
      {{u"W>5 X<5 Z#5 X<>5"}, {{0, "00 52 05 00"}, {1, "00 21 05 00"}, {2, "00 32 05 00"}, {3, "00 B1 05 00"}}},
      {{u"\"X5*"}, {{0, "00 41 05 00"}}},
      {{u"g1x2", u"m3 s1200 t12 p-1 f7"},
       {{0, "00 03 01 00"}, {1, "00 81 02 00"}, {2, "00 04 03 00"}, {3, "00 05 00 12"},
        {4, "00 06 12 00"}, {5, "FF 07 FF FF"}, {6, "00 88 07 00"}}},
      {{u"X16777216", u"X8388608", u"X 12", u"G"}, {{0, "00 81 00 00"}, {1, "80 81 00 00"}, {2, "00 81 0C 00"}, {3, "00 83 00 00"}}},
      {{u"G1", u"N0010 X1", u"N0005 Z2", u"M3"},
       {{0, "00 83 01 00"}, {10, "00 81 01 00"}, {5, "00 82 02 00"}, {6, "00 84 03 00"}, {11, "00 80 00 00"}}},
      // Comments, skipped lines, the end mark.
      {{u"(start", u"G5", u"still )X1 (c) Z2", u"; note", u"%", u"  ", u"M3 (x", u")", u"^", u"G9"},
       {{0, "00 01 01 00"}, {1, "00 82 02 00"}, {2, "00 84 03 00"}, {3, "00 80 00 00"}}},
      {{u"G1 (a", u"b) X1 (c", u"d) Z2"}, {{0, "00 83 01 00"}, {1, "00 81 01 00"}, {2, "00 82 02 00"}}},
      {{u"N1099 G1"}, {{1099, "00 83 01 00"}}},
  };
  for (const auto &c : cases) {
    const Outcome r = writeNC31(c.lines);
    ASSERT_TRUE(r.ok) << c.slots.size();
    ASSERT_EQ(r.out.size(), kNC31ImageSize);
    EXPECT_EQ(Bytes(r.out.end() - 8, r.out.end()), Bytes(8, 0));
    for (auto [s, word] : c.slots) EXPECT_EQ(slot(r.out, s), hex(word)) << "slot " << s;
  }
}

TEST(FormatNC31, WriteFailures) {
  struct Case {
    ProgramLines lines;
    int code, line;
  } cases[] = {
      {{u"G1", u"N0000 X1"}, 3, 2},      // slot already used
      {{u"N1100 X1"}, 3, 1},
      {{u"N-1 X1"}, 3, 1},
      {{u"NX5"}, 3, 1},
      {{u"G1", u"", u"N99999999999"}, 3, 3},
      {{u"N1099 G1 X1"}, 3, 1},           // would pass the last slot
      {{u"G1", u"N1098 X1 Z1 P1"}, 3, 2},
      {{u"G-1"}, 4, 1},                   // would otherwise become a rapid move G0
      {{u"M-3"}, 4, 1},
      {{u"G1 5"}, 4, 1},                  // a word begins with a digit
      {{u"-X5"}, 4, 1},
      {{u"X1.5"}, 4, 1},                  // ".5" has no address letter
      {{u"Y5"}, 4, 1},
      {{u"X>>5"}, 4, 1},
      {{u"X99999999999"}, 4, 1},
      {{u"X$10"}, 4, 1},
      {{u"(a", u")", u"X1 ;c"}, 4, 3},
      {{u"Х5"}, 4, 1},                    // Cyrillic Х
      {{u"X1 ) (c", u"Z2)"}, 4, 1},     // a ")" before the "(" closes nothing and stays
  };
  for (const auto &c : cases) {
    const Outcome r = writeNC31(c.lines);
    EXPECT_FALSE(r.ok) << c.lines.back().size();
    EXPECT_EQ(r.code, c.code) << c.line;
    EXPECT_EQ(r.line, c.line) << c.code;
  }
}

TEST(FormatNC31, ReadsWords) {
  const Bytes image = imageOf({"00 03 01 00", "00 01 64 00", "00 82 C8 00"});
  EXPECT_EQ(text(readNC31(image, true)), "N0000 G1 X100 Z200\r\n");
  EXPECT_EQ(text(readNC31(image, false)), "N0000 G1*\r\nN0001 X100*\r\nN0002 Z200\r\n");

  const std::pair<const char *, const char *> words[] = {
      {"FF 81 9C FF", "N0000 X-100\r\n"},
      {"00 C1 64 00", "N0000 \"X100\r\n"},
      {"80 81 00 00", "N0000 X-8388608\r\n"},
      {"00 B2 05 00", "N0000 Z#5\r\n"},
      {"00 A7 05 00", "N0000 P<5\r\n"},
      {"00 98 05 00", "N0000 F>5\r\n"},
      {"12 85 56 34", "N0000 S123456\r\n"},
      {"A0 86 00 00", "N0000 T1000000\r\n"},
  };
  for (auto [word, line] : words) EXPECT_EQ(text(readNC31(imageOf({word}), false)), line) << word;

  // Empty slots are skipped, lines take the slot number of their first word.
  EXPECT_EQ(text(readNC31(imageOf({"00 00 00 00", "00 03 01 00", "00 80 00 00", "00 81 02 00"}), true)),
            "N0001 G1 X2\r\n");
  // Erased memory (address code 15) ends reading; the unfinished block goes.
  const Outcome erased = readNC31(imageOf({"00 83 01 00", "00 01 01 00", "FF FF FF FF", "00 81 01 00"}), true);
  EXPECT_TRUE(erased.ok);
  EXPECT_EQ(text(erased), "N0000 G1\r\n");
  EXPECT_FALSE(readNC31(imageOf({"FF FF FF FF"}), true).ok);
  EXPECT_FALSE(readNC31(imageOf({}), true).ok);
  EXPECT_FALSE(readNC31(hex("00 80 00"), true).ok);
  // A short last word is completed with zero bytes.
  EXPECT_EQ(text(readNC31(hex("00 81 05"), true)), "N0000 X5\r\n");
}

TEST(FormatNC31, ReadsOnlyFirstThousandSlots) {
  const Outcome w = writeNC31({u"N0999 X1*", u"X2", u"X3"});  // slots 999, 1000, 1001
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(text(readNC31(w.out, false)), "N0999 X1*\r\n");
  // A merged block still open at slot 1000 is closed there.
  EXPECT_EQ(text(readNC31(w.out, true)), "N0999 X1 \r\n");
  // In a short image that just ends, the open block is dropped.
  const Bytes shortImage = imageOf({"00 83 01 00", "00 01 02 00"});
  EXPECT_EQ(text(readNC31(Bytes(shortImage.begin(), shortImage.begin() + 8), true)),
            "N0000 G1\r\n");
}

TEST(FormatNC31, MergedLinesBreakAfter116Characters) {
  ProgramLines lines;
  std::u16string block = u"N0000";
  for (int i = 0; i < 30; ++i) block += u" X1234567";
  lines.push_back(block);
  const Outcome w = writeNC31(lines);
  ASSERT_TRUE(w.ok);
  const ProgramLines read = linesOf(readNC31(w.out, true).out);
  // "N0000 " + 13 words of 9 characters ends at 123 > 116 after the 13th word.
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].size(), 6u + 13 * 9 - 1 + 1);
  EXPECT_EQ(read[0].back(), u'*');
  EXPECT_TRUE(read[1].starts_with(u"N0013 X1234567"));
  EXPECT_EQ(read[2], u"N0026 X1234567 X1234567 X1234567 X1234567");
  // Written back, the three lines give the same table.
  const Outcome again = writeNC31(read);
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(again.out, w.out);
}

TEST(FormatNC31, RoundTripsPerWordAndMerged) {
  const ProgramLines program = {u"N0000 G1 X100 Z-200 F150", u"N0004 \"X5 W-7 S1200*", u"M3",
                                u"N0010 T12 P#3 G<90 M>2"};
  const Outcome w = writeNC31(program);
  ASSERT_TRUE(w.ok);
  for (bool merge : {false, true}) {
    const Outcome r = readNC31(w.out, merge);
    ASSERT_TRUE(r.ok);
    const Outcome again = writeNC31(linesOf(r.out));
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.out, w.out) << merge;
  }
  EXPECT_EQ(linesOf(readNC31(w.out, true).out),
            (ProgramLines{u"N0000 G1 X100 Z-200 F150", u"N0004 \"X5 \"Z-7 S1200 M3",
                          u"N0010 T12 P#3 G<90 M>2"}));
}
