// LoadLDA and ReadVZ on any stream; a loaded stream saved again loads to the same memory.
#include "FuzzUtil.h"
#include "formats/FormatVZ.h"
#include "formats/Lda.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace kalvort;
  std::vector<std::uint8_t> memory;
  int start = 0;
  const bool loaded = LoadLDA({data, size}, memory, start);
  if (loaded) {
    FUZZ_CHECK(memory.size() <= kLdaMemorySize);
    FUZZ_CHECK(start >= 0 && start < static_cast<int>(kLdaMemorySize));
    if (static_cast<std::size_t>(start) < memory.size()) {
      const std::vector<std::uint8_t> tail(memory.begin() + start, memory.end());
      std::vector<std::uint8_t> stream;
      FUZZ_CHECK(SaveLDA(tail, stream, start, 1 + data[0] % kLdaMaxBlockSize));
      std::vector<std::uint8_t> again;
      int start2 = 0;
      FUZZ_CHECK(LoadLDA(stream, again, start2));
      FUZZ_CHECK(start2 == start);
      FUZZ_CHECK(std::equal(tail.begin(), tail.end(), again.begin() + start, again.end()));
    }
  } else {
    FUZZ_CHECK(memory.empty());
  }
  Conversion conv;
  std::size_t n = 0;
  const bool ok = ReadVZ(conv, data, size, nullptr, n);
  FUZZ_CHECK(ok == (loaded && size > 0));
  if (ok) fuzz::checkCopy(conv, n);
  return 0;
}
