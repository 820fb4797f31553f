#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

#include "device/DevCatalog.h"

using namespace kalvort;

namespace {

std::string Bytes(const uint8_t *p, size_t n) { return std::string(reinterpret_cast<const char *>(p), n); }

}  // namespace

TEST(CatalogNames, NameGivesCodeAndDisplayCodes) {
  TDevCatalogEntry e;
  StringToCatalogEntry(u"Деталь 1", e);
  EXPECT_EQ(Bytes(e.code, 9), std::string("\xC4\xE5\xF2\xE0\xEB\xFC\x20\x31\x00", 9));
  EXPECT_EQ(Bytes(e.indic, 17),
            std::string("\xE0\x65\xBF\x61\xBB\xC4\x20\x31", 8) + std::string(8, ' ') + std::string(1, '\0'));
  EXPECT_EQ(ByteArrayToString(e.code, 128), u"Деталь 1");
  EXPECT_EQ(ByteArrayToString(e.code, 3), u"Дет");

  // A shorter name replaces a longer one completely.
  StringToCatalogEntry(u"Ёж{}\u4E2D", e);
  EXPECT_EQ(Bytes(e.code, 6), std::string("\xA8\xE6{}?\0", 6));
  EXPECT_EQ(Bytes(e.indic, 6), std::string("\x20\xB6\x20\x20?\x20", 6));
  EXPECT_EQ(e.code[7], 0);
}

TEST(CatalogNames, LongNameIsCutToTheField) {
  struct Guarded {
    TDevCatalogEntry e;
    uint8_t after[64];
  } g;
  std::memset(g.after, 0x5A, sizeof g.after);
  std::u16string name(300, u'Ж');
  StringToCatalogEntry(name, g.e);
  EXPECT_EQ(Bytes(g.e.code, 128), std::string(128, '\xC6'));
  EXPECT_EQ(g.e.code[128], 0);
  EXPECT_EQ(Bytes(g.e.indic, 16), std::string(16, '\xA3'));
  EXPECT_EQ(g.e.indic[16], 0);
  EXPECT_EQ(ByteArrayToString(g.e.code, 1000).size(), 128u);
  for (uint8_t b : g.after) EXPECT_EQ(b, 0x5A);
}

TEST(CatalogNames, DisplayCodes) {
  struct Case {
    uint8_t in, out;
  } cases[] = {
      {0x00, 0x20}, {0x1F, 0x20}, {0x20, 0x20}, {0x41, 0x41}, {0x7A, 0x7A}, {0x7B, 0x20},
      {0xA8, 0x20}, {0xB8, 0x20}, {0xBF, 0x20}, {0xC0, 0x41}, {0xC1, 0xA0}, {0xDC, 0xC4},
      {0xDF, 0xB1}, {0xE0, 0x61}, {0xF2, 0xBF}, {0xFC, 0xC4}, {0xFF, 0xC7},
  };
  for (const auto &c : cases) EXPECT_EQ(char_lcd(c.in), c.out) << int(c.in);
}

TEST(CatalogNames, DateIsLocalOleTime) {
  const double ole = NowAsOleDate();
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  const double days = std::floor(ole);
  const double expected_days = 25569.0 + std::floor((static_cast<double>(t) + local.tm_gmtoff) / 86400.0);
  EXPECT_NEAR(days, expected_days, 1.0);
  const double seconds_of_day = (ole - days) * 86400.0;
  const double want = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  const double diff = std::fmod(seconds_of_day - want + 2 * 86400.0, 86400.0);
  EXPECT_LT(std::min(diff, 86400.0 - diff), 5.0);
}

TEST(CatalogNames, NameFitsTheEntryWithoutSplittingACharacter) {
  const std::u16string cyr(200, u'Ж');
  EXPECT_EQ(FitCatalogName(cyr), std::u16string(128, u'Ж'));
  EXPECT_EQ(FitCatalogName(u"short"), u"short");
  // 127 letters, then a surrogate pair: one byte, kept whole; a following letter is cut.
  const std::u16string pair = std::u16string(127, u'a') + u"\U0001F600" + u"b";
  EXPECT_EQ(FitCatalogName(pair), std::u16string(127, u'a') + u"\U0001F600");
  TDevCatalogEntry e;
  StringToCatalogEntry(FitCatalogName(pair), e);
  EXPECT_EQ(ByteArrayToString(e.code, 128), std::u16string(127, u'a') + u"?");
}

TEST(CatalogNames, OleDateParts) {
  OleDateParts p;
  ASSERT_TRUE(OleDateToParts(45000.5, p));  // 2023-03-15 12:00
  EXPECT_EQ(p.year, 2023);
  EXPECT_EQ(p.month, 3);
  EXPECT_EQ(p.day, 15);
  EXPECT_EQ(p.hour, 12);
  ASSERT_TRUE(OleDateToParts(-1.25, p));  // 1899-12-29 06:00
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 6);
  EXPECT_FALSE(OleDateToParts(std::nan(""), p));
  EXPECT_FALSE(OleDateToParts(3e6, p));
}
