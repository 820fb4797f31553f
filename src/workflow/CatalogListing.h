#pragma once
// The catalog as the catalog list shows it: one row per catalog slot in slot order, the cell
// texts of each row, and the list saved as a text file.

#include <array>
#include <string>
#include <vector>

#include "device/DevCatalog.h"

namespace kalvort {

inline constexpr int kCatalogColumnCount = 7;
inline constexpr std::array<const char16_t *, kCatalogColumnCount> kCatalogColumnTitles = {
    u"№", u"№ п.", u"Название", u"Разм.текст", u"Разм.обр.", u"Обр.", u"Дата"};
inline constexpr std::array<int, kCatalogColumnCount> kCatalogColumnWidths = {24, 30, 116, 60, 54, 33, 90};
inline constexpr int kCatalogRowHeight = 20;

// One data row. The date cell is left to the caller, who formats `date` the way the desktop does.
struct CatalogListRow {
  int entry_index = -1;  // catalog index of the row's entry; -1 for the empty row of an empty catalog
  std::array<std::u16string, kCatalogColumnCount - 1> cells;  // "№" .. "Обр."
  double date = 0.0;
};

// The rows in slot order: for slots 0 .. MaxProgNum - 1 the first entry (in catalog order) with
// that slot. Entries sharing a slot with an earlier one, or whose slot lies outside 0 ..
// MaxProgNum - 1, get no row. A catalog without any row to show gives one empty row.
std::vector<CatalogListRow> CatalogListRows(const TDevCatalog &catalog);

// Characters of the entry's text with CR LF after every line.
size_t CatalogTextSize(const TDevCatalogEntry &entry);

// The list as a text file: every cell followed by TAB, every row by CR LF, in Windows-1251.
std::string CatalogListFileBytes(const std::vector<std::vector<std::u16string>> &rows);

}  // namespace kalvort
