#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "base/CodePage.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

// The encoded text inside a written stream, checking the framing on the way.
Bytes encodedOf(const Bytes &stream) {
  Bytes memory;
  int start = 0;
  EXPECT_TRUE(LoadLDA(stream, memory, start));
  EXPECT_EQ(start, 832);
  const Bytes text(memory.begin() + 832, memory.end());
  EXPECT_EQ(stream.size(), text.size() + 21);
  return text;
}

Bytes streamOf(const Bytes &encoded) {
  Bytes out;
  EXPECT_TRUE(SaveLDA(encoded, out, 832, encoded.size()));
  return out;
}

std::u16string repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

}  // namespace

TEST(FormatVZ, CodeTables) {
  const std::u16string capitals = u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
  const Bytes codes = hex("61 62 77 67 64 65 76 7A 69 6A 6B 6C 6D 6E 6F 70 72 73 74 75 66 68 63 7E "
                          "7B 7D 17 79 78 7C 60 71");
  for (std::size_t i = 0; i < capitals.size(); ++i) {
    char b;
    ASSERT_TRUE(toCp1251Char(capitals[i], b));
    EXPECT_EQ(vzEncodeCapital(static_cast<std::uint8_t>(b)), codes[i]) << i;
    if (capitals[i] != u'Ъ') {
      EXPECT_EQ(vzDecode(codes[i]), static_cast<std::uint8_t>(b)) << i;
    }
  }
  const std::pair<std::uint8_t, std::uint8_t> decode[] = {
      {0x0A, '\n'}, {0x0D, '\r'}, {0x17, '`'}, {0x1B, '<'}, {0x1C, '>'}, {0x1E, 'o'},
      {0x00, '?'},  {0x1F, '?'},  {0x22, '~'}, {0x27, '~'}, {0x24, 0xA4}, {0x40, '*'},
      {0x5C, '|'},  {0x7F, '|'},  {0x41, 'A'}, {0x20, ' '}, {0xC1, 'A'},  {0xE0, 0xDE}};
  for (auto [code, ch] : decode) EXPECT_EQ(vzDecode(code), ch) << int(code);
}

TEST(FormatVZ, WritesRecords) {
  struct Case {
    ProgramLines lines;
    bool delEmpty;
    const char *encoded;
  } cases[] = {
      {{u"G01", u"X100"}, false, "20 47 30 31 03 20*27 20 58 31 30 30 03"},
      {{u"G1", u"", u"X1"}, false, "20 47 31 03 20*28 20 03 20*30 20 58 31 03"},
      {{u"G1", u"", u"X1"}, true, "20 47 31 03 20*28 20 20 58 31 03"},
      {{u"СТОП"}, false, "20 73 74 6F 70 03"},
      {{u"a\tЪ\"@"}, false, "20 61 17 22 40 03"},
      {{u""}, true, "20"},  // only the leading space is left
      {{u"Ё€"}, false, "20 A8 88 03"},    // other Windows-1251 bytes are written as they are
      {{u"X\u4E2D"}, false, "20 58 3F 03"},  // outside Windows-1251: "?"
  };
  for (const auto &c : cases) {
    const Outcome r = writeVZ(c.lines, c.delEmpty);
    ASSERT_TRUE(r.ok) << c.encoded;
    EXPECT_EQ(encodedOf(r.out), hex(c.encoded)) << c.encoded;
  }
  // The whole stream of the first case, framing included.
  EXPECT_EQ(writeVZ({u"G01", u"X100"}).out,
            hex("00 00 01 00 2D 00 40 03 20 47 30 31 03 20*27 20 58 31 30 30 03 58 00*5 "
                "01 00 06 00 01 00 F8"));
}

TEST(FormatVZ, RecordLengths) {
  // 30 characters fill a record exactly; 31 make it one byte longer; the last is never padded.
  const Bytes full = encodedOf(writeVZ({repeat(u'A', 30), u"B"}).out);
  EXPECT_EQ(full.size(), 32u + 3);
  EXPECT_EQ(full[31], 0x03);
  const Bytes longer = encodedOf(writeVZ({repeat(u'A', 31), u"B"}).out);
  EXPECT_EQ(longer.size(), 33u + 3);
  EXPECT_EQ(longer[32], 0x03);
}

TEST(FormatVZ, WriteFailures) {
  struct Case {
    ProgramLines lines;
    int code, line;
  } cases[] = {
      {{u"G1", u"стоп"}, 4, 2},
      {{u"", u"", u"ОК", u"я"}, 4, 4},
  };
  for (const auto &c : cases) {
    const Outcome r = writeVZ(c.lines);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.line, c.line);
    EXPECT_TRUE(r.out.empty());
  }
}

TEST(FormatVZ, EncodedTextLimit) {
  // 229 full records take 7328 bytes; a 230th line of 30 characters ends exactly at 7360, the
  // most the loader's memory holds above address 832, and the stream reads back.
  ProgramLines lines(230, repeat(u'X', 30));
  const Outcome fits = writeVZ(lines);
  ASSERT_TRUE(fits.ok);
  EXPECT_EQ(fits.out.size(), 7360u + 21);
  EXPECT_TRUE(readVZ(fits.out).ok);

  lines.back() += u'Y';
  const Outcome over = writeVZ(lines);
  EXPECT_FALSE(over.ok);
  EXPECT_EQ(over.code, kConvErrNone);
  EXPECT_EQ(over.line, 230);
  EXPECT_TRUE(over.out.empty());
  // The leading space of a record counts for its line.
  lines.back().pop_back();
  lines.push_back(u"Z");
  const Outcome space = writeVZ(lines);
  EXPECT_FALSE(space.ok);
  EXPECT_EQ(space.line, 231);
}

TEST(FormatVZ, ReadsStreams) {
  const std::pair<Bytes, std::string> cases[] = {
      {hex("20 47 30 31 03 20*27 20 58 31 30 30 03"), "G01\r\nX100\r\n"},
      {hex("20 03 20*30 20 47 03"), "\r\nG\r\n"},
      {hex("20 20 20 47 31 20 58 03 20 20 4E"), "G1 X\r\nN"},  // indentation lost, tail kept
      {hex("20 73 74 6F 70 03 20 61 17 22 40 24 83 A0"), "\xD1\xD2\xCE\xCF\r\n\xC0`~*\xA4o "},
      {hex("20*40"), ""},
  };
  for (const auto &[encoded, text] : cases) {
    const Outcome r = readVZ(streamOf(encoded));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(std::string(r.out.begin(), r.out.end()), text);
  }
  EXPECT_FALSE(readVZ({}).ok);
  EXPECT_FALSE(readVZ(hex("00 00 01 00 08 00 40 03 41 74")).ok);  // bad checksum, no end
  // Read back, the loader's memory ends at 8191: 7360 encoded bytes at 832 at most.
  EXPECT_TRUE(readVZ(streamOf(Bytes(7360, 0x41))).ok);
  EXPECT_FALSE(readVZ(streamOf(Bytes(7361, 0x41))).ok);
}

TEST(FormatVZ, RoundTrips) {
  const ProgramLines programs[] = {
      {u"%", u"N1 G01 X100 Z-20 F200", u"", u"M02", u"СТОП ДЕТАЛЬ ЧЕРТЕЖ ЪЁ"},
      {u"ПРОГРАММА " + repeat(u'9', 40), u"()+-=/.,:;!?<>"},
  };
  for (const auto &lines : programs) {
    const Outcome w = writeVZ(lines);
    ASSERT_TRUE(w.ok);
    const Outcome r = readVZ(w.out);
    ASSERT_TRUE(r.ok);
    ProgramLines expected = lines;
    for (auto &line : expected)
      for (auto &c : line) {
        if (c == u'Ъ') c = u'`';
        if (c == u'Ё') c = u'(';  // 0xA8 & 0x7F
      }
    EXPECT_EQ(linesOf(r.out), expected);
  }
}
