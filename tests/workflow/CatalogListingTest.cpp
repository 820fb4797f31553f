#include <gtest/gtest.h>

#include <memory>

#include "base/CodePage.h"
#include "workflow/CatalogListing.h"

using namespace kalvort;

namespace {

TDevCatalogEntry Entry(int cat_num, uint16_t prog_num, const char16_t *name) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  StringToCatalogEntry(name, e);
  e.text = std::make_shared<ProgramText>();
  return e;
}

}  // namespace

TEST(CatalogListing, EmptyCatalogHasOneEmptyRow) {
  TDevCatalog catalog;
  const auto rows = CatalogListRows(catalog);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].entry_index, -1);
  EXPECT_TRUE(rows[0].cells[0].empty());
}

TEST(CatalogListing, RowsInSlotOrderFirstOfASlotOnly) {
  TDevCatalog catalog;
  catalog.SetMaxProgNum(10);
  auto text = Entry(2, 7, u"Вал");
  text.need_p_proc = true;
  text.file_txt_valid = true;
  *text.text = {u"G01", u""};  // 3 + 2 + 0 + 2 characters with CR LF
  auto binary = Entry(0, 3, u"boot");
  binary.file_bin_valid = true;
  binary.prog_size = 12;
  binary.file_error_code = feProcessError;
  std::vector<TDevCatalogEntry> entries = {text, binary, Entry(2, 9, u"twin"), Entry(10, 11, u"beyond")};
  for (auto &e : entries) {
    // Add keeps the slot; the number of a repeated program moves on, which does not matter here.
    ASSERT_TRUE(catalog.AddCatalogEntry(e));
  }
  const auto rows = CatalogListRows(catalog);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].entry_index, 1);
  EXPECT_EQ(rows[0].cells[0], u"!1");
  EXPECT_EQ(rows[0].cells[1], u"3");
  EXPECT_EQ(rows[0].cells[2], u"boot");
  EXPECT_EQ(rows[0].cells[3], u"---");
  EXPECT_EQ(rows[0].cells[4], u"12");
  EXPECT_EQ(rows[0].cells[5], u"Нет");
  EXPECT_EQ(rows[1].entry_index, 0);
  EXPECT_EQ(rows[1].cells[0], u" 3");
  EXPECT_EQ(rows[1].cells[2], u"Вал");
  EXPECT_EQ(rows[1].cells[3], u"7");
  EXPECT_EQ(rows[1].cells[4], u"---");
  EXPECT_EQ(rows[1].cells[5], u"Да");
}

TEST(CatalogListing, ListFileEndsEveryCellWithTab) {
  const std::string bytes = CatalogListFileBytes({{u"№", u"Дата"}, {u" 1", u""}});
  EXPECT_EQ(bytes, "\xB9\t\xC4\xE0\xF2\xE0\t\r\n 1\t\t\r\n");
}
