#include "workflow/CatalogListing.h"

#include "base/CodePage.h"

namespace kalvort {

namespace {

std::u16string decimal(long long v) {
  const std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

size_t CatalogTextSize(const TDevCatalogEntry &entry) {
  size_t size = 0;
  if (entry.text)
    for (const auto &line : *entry.text) size += line.size() + 2;
  return size;
}

std::vector<CatalogListRow> CatalogListRows(const TDevCatalog &catalog) {
  const int count = catalog.CatalogCount();
  if (count == 0) return {CatalogListRow{}};
  const int slots = catalog.MaxProgNum();
  // First entry of each slot, found in one pass over the catalog.
  std::vector<int> first(slots > 0 ? static_cast<size_t>(slots) : 0, -1);
  std::vector<TDevCatalogEntry> entries;
  entries.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    entries.push_back(catalog.Catalog(i));
    const int slot = entries.back().cat_num;
    if (slot >= 0 && slot < slots && first[static_cast<size_t>(slot)] < 0) first[static_cast<size_t>(slot)] = i;
  }
  std::vector<CatalogListRow> rows;
  rows.reserve(static_cast<size_t>(count));
  for (int slot = 0; slot < slots; ++slot) {
    const int i = first[static_cast<size_t>(slot)];
    if (i < 0) continue;
    const TDevCatalogEntry &e = entries[static_cast<size_t>(i)];
    CatalogListRow row;
    row.entry_index = i;
    row.cells[0] = (e.file_error_code != feOK ? u"!" : u" ") + decimal(static_cast<long long>(e.cat_num) + 1);
    row.cells[1] = decimal(e.prog_num);
    row.cells[2] = ByteArrayToString(e.code, kCatalogCodeSize - 1);
    row.cells[3] = e.file_txt_valid && e.need_p_proc ? decimal(static_cast<long long>(CatalogTextSize(e))) : u"---";
    row.cells[4] = e.file_bin_valid ? decimal(e.prog_size) : u"---";
    row.cells[5] = e.need_p_proc ? u"Да" : u"Нет";
    row.date = e.date;
    rows.push_back(std::move(row));
  }
  if (rows.empty()) rows.emplace_back();  // no entry has a slot in range: still one (empty) row
  return rows;
}

std::string CatalogListFileBytes(const std::vector<std::vector<std::u16string>> &rows) {
  std::u16string text;
  for (const auto &row : rows) {
    for (const auto &cell : row) {
      text += cell;
      text += u'\t';
    }
    text += u"\r\n";
  }
  return toCp1251(text);
}

}  // namespace kalvort
