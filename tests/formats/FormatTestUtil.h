#pragma once
// Helpers for the format tests: hex byte literals and one-call converter runs.

#include <cstdint>
#include <string>
#include <vector>

#include "formats/Processors.h"

namespace kalvort::test {

using Bytes = std::vector<std::uint8_t>;

// "41 42 c3" -> {0x41, 0x42, 0xC3}; "20*27" repeats a byte.
inline Bytes hex(const std::string &text) {
  Bytes out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const auto b = static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16));
    i += 2;
    std::size_t repeat = 1;
    if (i < text.size() && text[i] == '*') {
      std::size_t used = 0;
      repeat = std::stoul(text.substr(i + 1), &used);
      i += 1 + used;
    }
    out.insert(out.end(), repeat, b);
  }
  return out;
}

inline Bytes bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

// The outcome of one converter run on a fresh Conversion.
struct Outcome {
  bool ok = false;
  Bytes out;
  int code = -1;
  int line = -1;
};

template <typename Convert>
Outcome run(Convert &&convert) {
  Conversion conv;
  std::size_t length = 12345;
  Outcome r;
  r.ok = convert(conv, length);
  if (r.ok) {
    r.out.resize(length);
    if (!conv.CopyConversionResult(r.out.data(), length)) r.ok = false;
  }
  r.code = conv.conv_err_code;
  r.line = conv.conv_err_str_num;
  return r;
}

inline Outcome read2C42(const Bytes &image) {
  return run([&](Conversion &c, std::size_t &n) {
    return Read2C42(c, image.data(), image.size(), nullptr, n);
  });
}
inline Outcome write2C42(const ProgramLines &lines, bool delSpace = false, bool delEmpty = false) {
  return run([&](Conversion &c, std::size_t &n) {
    return Write2C42(c, lines, delSpace, delEmpty, nullptr, n);
  });
}
inline Outcome readNC31(const Bytes &image, bool merge) {
  return run([&](Conversion &c, std::size_t &n) {
    return ReadNC31(c, image.data(), image.size(), merge, nullptr, n);
  });
}
inline Outcome writeNC31(const ProgramLines &lines) {
  return run([&](Conversion &c, std::size_t &n) { return WriteNC31(c, lines, nullptr, n); });
}
inline Outcome readVZ(const Bytes &image) {
  return run([&](Conversion &c, std::size_t &n) {
    return ReadVZ(c, image.data(), image.size(), nullptr, n);
  });
}
inline Outcome writeVZ(const ProgramLines &lines, bool delEmpty = false) {
  return run([&](Conversion &c, std::size_t &n) { return WriteVZ(c, lines, delEmpty, nullptr, n); });
}

// 8-bit converter output as lines, split the way the editor splits it.
ProgramLines linesOf(const Bytes &text8);

}  // namespace kalvort::test
