// WriteVZ on any text (first byte: option and text encoding); the stream holds one block at 832
// that fits the loader's memory and reads back.
#include "FuzzUtil.h"
#include "formats/FormatVZ.h"
#include "formats/Lda.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  if (size < 1) return 0;
  const ProgramLines lines = fuzz::linesFrom(data[0], data + 1, size - 1);
  Conversion conv;
  std::size_t n = 0;
  if (!WriteVZ(conv, lines, data[0] & 2, nullptr, n)) {
    fuzz::checkFailure(conv, lines);
    return 0;
  }
  fuzz::checkCopy(conv, n);
  FUZZ_CHECK(n >= 22 && n - 21 <= kVZMaxEncodedSize);
  const std::size_t encoded = n - 21;
  std::vector<std::uint8_t> memory;
  int start = 0;
  FUZZ_CHECK(LoadLDA(conv.result(), memory, start));
  FUZZ_CHECK(start == static_cast<int>(kVZLoadAddress));
  FUZZ_CHECK(memory.size() == kVZLoadAddress + encoded);
  Conversion back;
  std::size_t m = 0;
  FUZZ_CHECK(ReadVZ(back, conv.result().data(), n, nullptr, m));
  return 0;
}
