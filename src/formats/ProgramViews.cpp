#include "formats/ProgramViews.h"

#include "base/CodePage.h"

namespace kalvort {

std::string HexDumpText(const uint8_t *bytes, size_t length) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (!bytes || length == 0) return out;
  out.reserve((length + 15) / 16 * 57);
  for (size_t at = 0; at < length; at += 16) {
    if (at > 0) out.push_back('\n');
    char offset[24];
    int n = 0;
    for (size_t v = at; v != 0 || n < 6; v >>= 4) offset[n++] = kDigits[v & 0xF];
    while (n > 0) out.push_back(offset[--n]);
    out += ": ";
    const size_t end = length - at < 16 ? length : at + 16;
    for (size_t i = at; i < end; ++i) {
      out.push_back(kDigits[bytes[i] >> 4]);
      out.push_back(kDigits[bytes[i] & 0xF]);
      out.push_back(' ');
    }
  }
  return out;
}

ProgramLines RawBinaryLines(const uint8_t *bytes, size_t length) {
  std::u16string text;
  for (size_t i = 0; bytes && i < length && bytes[i] != 0; ++i) text.push_back(static_cast<char16_t>(bytes[i]));
  return splitLines(text);
}

std::u16string VisibleControlText(std::u16string_view line) {
  std::u16string out(line);
  for (auto &c : out) {
    if (c < 0x20) c = static_cast<char16_t>(0x2400 + c);
    else if (c == 0x7F) c = 0x2421;
  }
  return out;
}

}  // namespace kalvort
