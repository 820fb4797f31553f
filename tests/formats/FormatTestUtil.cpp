#include "FormatTestUtil.h"

#include "base/CodePage.h"

namespace kalvort::test {

ProgramLines linesOf(const Bytes &text8) {
  return splitLines(fromCp1251(std::string(text8.begin(), text8.end())));
}

}  // namespace kalvort::test
