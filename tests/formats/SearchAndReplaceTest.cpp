#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "formats/SearchAndReplace.h"

using namespace kalvort;

TEST(SearchAndReplace, MCaseFoldsExactlyTheListedCapitals) {
  EXPECT_EQ(MCase(u"G01 X-5 СТОП ЁЃЄЅІЇҐ"), u"g01 x-5 стоп ёѓєѕіїґ");
  // Other capitals of U+0400..U+040F, small letters and everything else stay.
  EXPECT_EQ(MCase(u"\u0400\u0402\u0408\u040F abc ÄÖ"), u"\u0400\u0402\u0408\u040F abc ÄÖ");
}

TEST(SearchAndReplace, LastOccurrence) {
  EXPECT_EQ(InvertSt(u"абв"), u"вба");
  EXPECT_EQ(PosR2L(u"ab", u"xabyab"), 5u);
  EXPECT_EQ(PosR2L(u"ab", u"ab"), 1u);
  EXPECT_EQ(PosR2L(u"zz", u"ab"), 0u);
  EXPECT_EQ(PosR2L(u"", u"ab"), 0u);
  EXPECT_EQ(PosR2L(u"abc", u"ab"), 0u);
}

TEST(SearchAndReplace, FindDownwardAndUpward) {
  const ProgramLines lines = {u"%", u"N1 G01 X5", u"N2 g01 СТОП", u"M30"};
  struct Case {
    const char16_t *what;
    TextPlace caret, start;
    bool down, match_case;
    std::optional<TextPlace> hit;
  } cases[] = {
      {u"g01", {0, 0}, {0, 0}, true, false, TextPlace{1, 3}},      // folded: finds G01
      {u"g01", {0, 0}, {0, 0}, true, true, TextPlace{2, 3}},       // exact case
      {u"стоп", {0, 0}, {0, 0}, true, false, TextPlace{2, 7}},
      {u"G01", {1, 6}, {1, 3}, true, false, TextPlace{2, 3}},      // continues after the selected hit
      {u"G01", {2, 6}, {2, 3}, true, false, std::nullopt},         // nothing after the last hit
      {u"G01", {3, 3}, {3, 3}, false, false, TextPlace{2, 3}},     // upward: last occurrence before
      {u"G01", {2, 6}, {2, 3}, false, false, TextPlace{1, 3}},     // upward skips the selected hit
      {u"1", {1, 9}, {1, 9}, false, false, TextPlace{1, 5}},       // upward: last in the line
      {u"", {0, 0}, {0, 0}, true, false, std::nullopt},
      {u"M30", {9, 9}, {9, 9}, true, false, std::nullopt},         // caret beyond the text
  };
  // The search over the whole text finds the same: the lines joined by a separator, a place as an
  // offset (a place beyond a line or the text clamped as the line search clamps it).
  std::u16string text;
  std::vector<size_t> starts;
  for (const auto &line : lines) {
    if (!starts.empty()) text += u'\u2029';
    starts.push_back(text.size());
    text += line;
  }
  auto offsetOf = [&](TextPlace p) {
    if (p.line >= static_cast<int>(lines.size())) return text.size();
    return starts[static_cast<size_t>(p.line)] + std::min<size_t>(static_cast<size_t>(p.column), lines[static_cast<size_t>(p.line)].size());
  };
  for (const auto &c : cases) {
    const auto hit = FindInLines(lines, c.what, SearchFrom{c.caret, c.start}, c.down, c.match_case);
    ASSERT_EQ(hit.has_value(), c.hit.has_value()) << std::string(c.what, c.what + 1);
    if (hit) {
      EXPECT_EQ(hit->line, c.hit->line);
      EXPECT_EQ(hit->column, c.hit->column);
    }
    const auto at = FindInText(text, c.what, offsetOf(c.down ? c.caret : c.start), c.down, c.match_case);
    ASSERT_EQ(at.has_value(), c.hit.has_value()) << std::string(c.what, c.what + 1);
    if (at) {
      EXPECT_EQ(*at, offsetOf(*c.hit));
    }
  }
}
