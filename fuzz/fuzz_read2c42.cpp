// Read2C42 on any image: bounded output, no overrun.
#include "FuzzUtil.h"
#include "formats/Format2C42.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  Conversion conv;
  std::size_t n = 0;
  const bool ok = Read2C42(conv, data, size, nullptr, n);
  FUZZ_CHECK(ok == (size > 0));
  if (ok) {
    FUZZ_CHECK(n <= 2 * size + 2);
    fuzz::checkCopy(conv, n);
  }
  return 0;
}
