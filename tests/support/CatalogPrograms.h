#pragma once
// Catalog entries for tests: binary programs named P0, P1, ... in slots 0, 1, ..., text or binary
// programs by slot and name, and the bytes an entry's image holds.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/DevCatalog.h"

namespace kalvort::testing {

// `n` bytes that differ from one seed to another (a linear congruential sequence).
inline ProgramImage PatternImage(size_t n, uint32_t seed) {
  ProgramImage v(n);
  for (auto &b : v) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return v;
}

// False when the catalog refuses an entry.
inline bool AddBinaryPrograms(TDevCatalog &catalog, const std::vector<ProgramImage> &programs) {
  for (size_t i = 0; i < programs.size(); ++i) {
    TDevCatalogEntry e;
    e.cat_num = static_cast<int>(i);
    StringToCatalogEntry(u"P" + std::u16string(1, static_cast<char16_t>(u'0' + i)), e);
    e.p_buffer = std::make_shared<ProgramImage>(programs[i]);
    e.prog_size = static_cast<uint32_t>(programs[i].size());
    e.file_bin_valid = true;
    if (!catalog.AddCatalogEntry(e)) return false;
  }
  return true;
}

// A text program when `text` is not empty, otherwise a binary one.
struct Program {
  int cat_num;
  std::u16string name;
  ProgramText text;
  ProgramImage binary;
};

// A processed text program in slot `cat_num`.
inline TDevCatalogEntry TextEntry(int cat_num, uint16_t prog_num, std::u16string_view name, ProgramText lines) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  StringToCatalogEntry(name, e);
  e.need_p_proc = true;
  e.file_txt_valid = true;
  e.text = std::make_shared<ProgramText>(std::move(lines));
  return e;
}

// False when the catalog refuses an entry. A binary program gets an empty text, as a read one has.
inline bool AddPrograms(TDevCatalog &catalog, const std::vector<Program> &programs) {
  for (const auto &p : programs) {
    TDevCatalogEntry e;
    if (!p.text.empty()) {
      e = TextEntry(p.cat_num, 0, p.name, p.text);
    } else {
      e.cat_num = p.cat_num;
      StringToCatalogEntry(p.name, e);
      e.text = std::make_shared<ProgramText>();
      e.p_buffer = std::make_shared<ProgramImage>(p.binary);
      e.prog_size = static_cast<uint32_t>(p.binary.size());
      e.file_bin_valid = true;
    }
    if (!catalog.AddCatalogEntry(e)) return false;
  }
  return true;
}

// The first prog_size bytes of the entry's image (none without one).
inline ProgramImage BytesOf(const TDevCatalogEntry &e) {
  if (!e.p_buffer) return {};
  return ProgramImage(e.p_buffer->begin(), e.p_buffer->begin() + e.prog_size);
}

}  // namespace kalvort::testing
