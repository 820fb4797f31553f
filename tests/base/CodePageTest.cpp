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

// UTF-8 at every length boundary, ASCII runs before and after, surrogate pairs and lone
// surrogates (U+FFFD, reported), appended after what the buffer already holds.
TEST(CodePage, Utf8EncodesEveryRangeAndReportsLoneSurrogates) {
  const struct {
    std::u16string text;
    std::string bytes;
    bool whole;
  } cases[] = {
      {u"", "", true},
      {u"N1 G01\x7F", "N1 G01\x7F", true},
      {u"a\u0080\u07FFb\u0800\uFFFFc", "a\xC2\x80\xDF\xBF" "b\xE0\xA0\x80\xEF\xBF\xBF" "c", true},
      {u"Деталь 1", "\xD0\x94\xD0\xB5\xD1\x82\xD0\xB0\xD0\xBB\xD1\x8C 1", true},
      {u"x\U00010000\U0010FFFFy", "x\xF0\x90\x80\x80\xF4\x8F\xBF\xBFy", true},
      {std::u16string(u"a\xD800" u"b", 3), "a\xEF\xBF\xBD" "b", false},
      {std::u16string(u"\xDC00\xD800", 2), "\xEF\xBF\xBD\xEF\xBF\xBD", false},
  };
  for (const auto &c : cases) {
    std::string out = "old;";
    EXPECT_EQ(appendUtf8(out, c.text), c.whole) << c.bytes;
    EXPECT_EQ(out, "old;" + c.bytes);
    EXPECT_EQ(toUtf8(c.text), c.bytes);
    std::u16string back;
    if (c.whole) {
      EXPECT_TRUE(fromUtf8(c.bytes, back) && back == c.text) << c.bytes;
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
