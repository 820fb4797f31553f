#pragma once
// Fills a device's catalog with binary programs named P0, P1, ... in slots 0, 1, ... for tests
// that write a project and read it back.

#include <cstdint>
#include <memory>
#include <string>
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

}  // namespace kalvort::testing
