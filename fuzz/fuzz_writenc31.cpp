// WriteNC31 on any text (first byte: text encoding); a written table is 4408 bytes with a zero
// trailer and reads without trouble.
#include "FuzzUtil.h"
#include "formats/FormatNC31.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  if (size < 1) return 0;
  const ProgramLines lines = fuzz::linesFrom(data[0], data + 1, size - 1);
  Conversion conv;
  std::size_t n = 0;
  if (!WriteNC31(conv, lines, nullptr, n)) {
    fuzz::checkFailure(conv, lines);
    FUZZ_CHECK(conv.conv_err_code == 3 || conv.conv_err_code == 4 || lines.empty());
    return 0;
  }
  fuzz::checkCopy(conv, n);
  FUZZ_CHECK(n == kNC31ImageSize);
  for (std::size_t i = kNC31Slots * 4; i < n; ++i) FUZZ_CHECK(conv.result()[i] == 0);
  Conversion back;
  std::size_t m = 0;
  ReadNC31(back, conv.result().data(), n, data[0] & 1, nullptr, m);
  return 0;
}
