// Write2C42 on any text (first byte: options and text encoding); what it writes has even parity
// and reads back.
#include "FuzzUtil.h"
#include "formats/Format2C42.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  if (size < 1) return 0;
  const ProgramLines lines = fuzz::linesFrom(data[0], data + 1, size - 1);
  Conversion conv;
  std::size_t n = 0;
  if (!Write2C42(conv, lines, data[0] & 1, data[0] & 2, nullptr, n)) {
    fuzz::checkFailure(conv, lines);
    return 0;
  }
  fuzz::checkCopy(conv, n);
  FUZZ_CHECK(n > 0);
  for (std::uint8_t b : conv.result()) FUZZ_CHECK(b == Set7thParityBit(b));
  Conversion back;
  std::size_t m = 0;
  FUZZ_CHECK(Read2C42(back, conv.result().data(), n, nullptr, m));
  return 0;
}
