// ReadNC31 on any image (first byte: merge), then the text it gives is written back.
#include "FuzzUtil.h"
#include "formats/FormatNC31.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  if (size < 1) return 0;
  const bool merge = data[0] & 1;
  Conversion conv;
  std::size_t n = 0;
  if (!ReadNC31(conv, data + 1, size - 1, merge, nullptr, n)) return 0;
  fuzz::checkCopy(conv, n);
  const std::string text(conv.result().begin(), conv.result().end());
  const ProgramLines lines = splitLines(fromCp1251(text));
  for (const auto &line : lines) FUZZ_CHECK(line.size() + 2 <= 131);
  Conversion again;
  std::size_t m = 0;
  if (WriteNC31(again, lines, nullptr, m)) {
    FUZZ_CHECK(m == kNC31ImageSize);
  } else {
    fuzz::checkFailure(again, lines);
  }
  return 0;
}
