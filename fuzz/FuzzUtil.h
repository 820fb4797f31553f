#pragma once
// Shared by the fuzz targets: turning fuzz input into program text, and a hard check that aborts
// (so libFuzzer records the input) when an invariant breaks.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/CodePage.h"
#include "formats/Conversion.h"

#define FUZZ_CHECK(cond)                                                  \
  do {                                                                    \
    if (!(cond)) {                                                        \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                       \
    }                                                                     \
  } while (0)

namespace kalvort::fuzz {

// Bit 0x08 of `mode` picks raw UTF-16LE (any code unit), otherwise Windows-1251 bytes.
inline ProgramLines linesFrom(std::uint8_t mode, const std::uint8_t *data, std::size_t size) {
  std::u16string text;
  if (mode & 0x08) {
    for (std::size_t i = 0; i + 1 < size; i += 2)
      text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  } else {
    text = fromCp1251(std::string(reinterpret_cast<const char *>(data), size));
  }
  return splitLines(text);
}

// A failed text-to-binary conversion names a line of the program (or none for an empty one).
inline void checkFailure(const Conversion &conv, const ProgramLines &lines) {
  if (lines.empty()) {
    FUZZ_CHECK(conv.conv_err_code == 0 && conv.conv_err_str_num == 0);
    return;
  }
  FUZZ_CHECK(conv.conv_err_str_num >= 1);
  FUZZ_CHECK(static_cast<std::size_t>(conv.conv_err_str_num) <= lines.size() + 1);
}

// The reported length is what CopyConversionResult hands out.
inline void checkCopy(const Conversion &conv, std::size_t length) {
  std::string buf(length, '\0');
  FUZZ_CHECK(conv.CopyConversionResult(reinterpret_cast<std::uint8_t *>(buf.data()), length));
  FUZZ_CHECK(!conv.CopyConversionResult(reinterpret_cast<std::uint8_t *>(buf.data()), length + 1));
}

}  // namespace kalvort::fuzz
