#pragma once
// Building catalog entries for the project tests.

#include <memory>
#include <string>
#include <vector>

#include "device/DevCatalog.h"
#include "base/CodePage.h"

namespace kalvort {

// An entry with a name, an image (binary flag set when not empty) and text lines (text flag and
// processing set when not empty).
inline TDevCatalogEntry MakeEntry(int cat_num, uint16_t prog_num, const char *utf8_name, std::vector<uint8_t> bin,
                                  ProgramText text) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  std::u16string name;
  fromUtf8(utf8_name, name);
  StringToCatalogEntry(name, e);
  e.file_bin_valid = !bin.empty();
  e.file_txt_valid = !text.empty();
  e.need_p_proc = e.file_txt_valid;
  e.prog_size = static_cast<uint32_t>(bin.size());
  uint32_t sum = 0;
  for (uint8_t b : bin) sum += b;
  e.control_sum = sum;
  if (!bin.empty()) e.p_buffer = std::make_shared<ProgramImage>(std::move(bin));
  e.text = std::make_shared<ProgramText>(std::move(text));
  return e;
}

}  // namespace kalvort
