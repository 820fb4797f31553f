#include "device/HotPlugTypes.h"

namespace kalvort {

namespace {

// Byte i of the stored identifier sits at text offset kTextPos[i] (after the opening brace):
// groups 1 to 3 are stored little-endian, groups 4 and 5 in text order.
constexpr int kTextPos[16] = {7, 5, 3, 1, 12, 10, 17, 15, 20, 22, 25, 27, 29, 31, 33, 35};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseGUID(const std::string &text, TGUID &guid) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
  for (int dash : {9, 14, 19, 24})
    if (text[static_cast<size_t>(dash)] != '-') return false;
  TGUID parsed;
  for (int i = 0; i < 16; ++i) {
    const int hi = hexDigit(text[static_cast<size_t>(kTextPos[i])]);
    const int lo = hexDigit(text[static_cast<size_t>(kTextPos[i] + 1)]);
    if (hi < 0 || lo < 0) return false;
    parsed.bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(hi << 4 | lo);
  }
  guid = parsed;
  return true;
}

std::string FormatGUID(const TGUID &guid) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "{00000000-0000-0000-0000-000000000000}";
  for (int i = 0; i < 16; ++i) {
    const uint8_t b = guid.bytes[static_cast<size_t>(i)];
    text[static_cast<size_t>(kTextPos[i])] = digits[b >> 4];
    text[static_cast<size_t>(kTextPos[i] + 1)] = digits[b & 15];
  }
  return text;
}

}  // namespace kalvort
