#include "base/CodePage.h"

#include <gtest/gtest.h>

using namespace kalvort;

TEST(CodePage, Cp1251RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(toCp1251(fromCp1251(all)), all);
  EXPECT_EQ(fromCp1251("\xC4\xE5\xF2\xE0\xEB\xFC\xA8\xB8\xB9"), u"ДетальЁё№");
}

TEST(CodePage, UnmappableCharacterBecomesDefault) {
  EXPECT_EQ(toCp1251(u"a\u4E2Db"), "a?b");
  EXPECT_EQ(toCp1251(u"x\U0001F600y"), "x?y");  // a surrogate pair is one character
}

TEST(CodePage, DecodeHonoursBomThenUtf8ThenCp1251) {
  struct Case {
    std::string bytes;
    std::u16string text;
    TextEncoding encoding;
  } cases[] = {
      {"G01 X10", u"G01 X10", TextEncoding::Cp1251},
      {"\xD0\x94\xD0\xB5", u"Де", TextEncoding::Utf8},
      {"\xEF\xBB\xBF\xD0\x94", u"Д", TextEncoding::Utf8Bom},
      {"\xFF\xFE\x14\x04", u"Д", TextEncoding::Utf16LE},
      {"\xFE\xFF\x04\x14", u"Д", TextEncoding::Utf16BE},
      {"\xC4\xE5", u"Де", TextEncoding::Cp1251},          // not valid UTF-8
      {"\xD0", u"Р", TextEncoding::Cp1251},                // truncated UTF-8 sequence
      {"\xC0\x80", u"А\u0402", TextEncoding::Cp1251},      // overlong form is not UTF-8
  };
  for (const auto &c : cases) {
    TextEncoding found;
    EXPECT_EQ(decodeText(c.bytes, &found), c.text) << c.bytes;
    EXPECT_EQ(found, c.encoding) << c.bytes;
    if (c.encoding != TextEncoding::Cp1251 || toCp1251(c.text) == c.bytes) {
      EXPECT_EQ(encodeText(c.text, c.encoding), c.bytes);
    }
  }
}

TEST(CodePage, SplitLinesAcceptsEveryLineBreak) {
  using Lines = std::vector<std::u16string>;
  EXPECT_EQ(splitLines(u"a\r\nb\rc\nd"), (Lines{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(splitLines(u"a\r\n\r\nb\r\n"), (Lines{u"a", u"", u"b"}));
  EXPECT_EQ(splitLines(u""), Lines{});
  EXPECT_EQ(joinLines({u"a", u"b"}), u"a\r\nb\r\n");
}
