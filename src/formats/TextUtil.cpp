#include "formats/TextUtil.h"

namespace kalvort {

std::u16string_view trimView(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

std::u16string trimControl(std::u16string_view s) { return std::u16string(trimView(s)); }

bool parseInt32(std::u16string_view s, bool leadingSpaces, std::int32_t &out) {
  std::size_t i = 0;
  if (leadingSpaces)
    while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < u'0' || s[i] > u'9') return false;
    v = v * 10 + (s[i] - u'0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace kalvort
