#pragma once
// The project the benchmarks time: a full module of 987 programs, each a 4408-byte binary with a
// text of about 3 KB, as a shop keeps them.

#include <memory>
#include <string>

#include "device/DevCatalog.h"

namespace kalvort::bench {

inline constexpr int kShopPrograms = 987;
inline constexpr size_t kShopImageSize = 4408;

// A program text of about 3 KB: numbered blocks of G-code.
inline ProgramText MakeShopText(int prog) {
  ProgramText lines;
  size_t chars = 0;
  for (int n = 0; chars < 3072; ++n) {
    std::string l = "N" + std::to_string(n) + " G01 X" + std::to_string((prog * 37 + n * 11) % 5000) + " Z-" +
                    std::to_string((n * 7 + prog) % 300) + " F" + std::to_string(100 + n % 50);
    chars += l.size() + 2;
    lines.emplace_back(l.begin(), l.end());
  }
  return lines;
}

// A 4408-byte table of four-byte words, like an НЦ-31 image: mostly small codes, some noise.
inline ProgramImage MakeShopImage(int prog) {
  ProgramImage img(kShopImageSize);
  uint32_t x = 2463534242u + prog;
  for (size_t i = 0; i < img.size(); ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    img[i] = (i % 4 == 3) ? 0 : static_cast<uint8_t>((i % 4 == 0) ? (x & 0x3F) : (x & 0x0F));
  }
  return img;
}

// Fills `catalog` with the shop's programs.
inline void FillShopCatalog(TDevCatalog &catalog) {
  catalog.SetMaxProgNum(kShopPrograms);
  for (int i = 0; i < kShopPrograms; ++i) {
    TDevCatalogEntry e;
    e.cat_num = i;
    e.prog_num = static_cast<uint16_t>(13 + i);
    StringToCatalogEntry(u"Программа " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)), e);
    e.p_buffer = std::make_shared<ProgramImage>(MakeShopImage(i));
    e.prog_size = kShopImageSize;
    e.text = std::make_shared<ProgramText>(MakeShopText(i));
    e.file_bin_valid = e.file_txt_valid = e.need_p_proc = true;
    catalog.AddCatalogEntry(e);
    catalog.UpdateControlSum(i);
  }
}

}  // namespace kalvort::bench
