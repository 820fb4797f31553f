#include "formats/SearchAndReplace.h"

#include <algorithm>

namespace kalvort {

namespace {

char16_t foldChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 0x20);
  switch (c) {
    case 0x0401: case 0x0403: case 0x0404: case 0x0405: case 0x0406: case 0x0407:
      return static_cast<char16_t>(c + 0x50);
    case 0x0490: return 0x0491;
    default: return c;
  }
}

}  // namespace

std::u16string MCase(std::u16string_view s) {
  std::u16string out(s);
  for (auto &c : out) c = foldChar(c);
  return out;
}

std::u16string InvertSt(std::u16string_view s) { return std::u16string(s.rbegin(), s.rend()); }

size_t PosR2L(std::u16string_view sub, std::u16string_view s) {
  if (sub.empty() || sub.size() > s.size()) return 0;
  const size_t at = s.rfind(sub);
  return at == std::u16string_view::npos ? 0 : at + 1;
}

std::optional<TextPlace> FindInLines(const LineSource &line, int line_count, std::u16string_view what,
                                     const SearchFrom &from, bool downward, bool match_case) {
  if (what.empty() || line_count <= 0) return std::nullopt;
  const std::u16string needle = match_case ? std::u16string(what) : MCase(what);
  auto text = [&](int i) { return match_case ? line(i) : MCase(line(i)); };

  if (downward) {
    const int first = std::max(0, from.caret.line);
    for (int y = first; y < line_count; ++y) {
      const std::u16string s = text(y);
      const size_t start = y == first ? std::min<size_t>(std::max(0, from.caret.column), s.size()) : 0;
      const size_t at = s.find(needle, start);
      if (at != std::u16string::npos) return TextPlace{y, static_cast<int>(at)};
    }
    return std::nullopt;
  }
  const int first = std::min(from.selection_start.line, line_count - 1);
  for (int y = first; y >= 0; --y) {
    std::u16string s = text(y);
    if (y == from.selection_start.line) s.resize(std::min<size_t>(std::max(0, from.selection_start.column), s.size()));
    if (const size_t pos = PosR2L(needle, s)) return TextPlace{y, static_cast<int>(pos - 1)};
  }
  return std::nullopt;
}

std::optional<size_t> FindInText(std::u16string_view text, std::u16string_view what, size_t from, bool downward,
                                 bool match_case) {
  const size_t m = what.size();
  if (m == 0 || m > text.size()) return std::nullopt;
  if (match_case) {
    size_t at;
    if (downward) {
      at = from > text.size() ? std::u16string_view::npos : text.find(what, from);
    } else {
      if (from < m) return std::nullopt;
      at = text.rfind(what, std::min(from, text.size()) - m);
    }
    if (at == std::u16string_view::npos) return std::nullopt;
    return at;
  }
  const std::u16string needle = MCase(what);
  auto matchesAt = [&](size_t i) {
    for (size_t j = 1; j < m; ++j)
      if (foldChar(text[i + j]) != needle[j]) return false;
    return true;
  };
  const size_t last = text.size() - m;  // the last place a hit can start
  if (downward) {
    for (size_t i = from; i <= last; ++i)
      if (foldChar(text[i]) == needle[0] && matchesAt(i)) return i;
    return std::nullopt;
  }
  if (from < m) return std::nullopt;
  for (size_t i = std::min(from - m, last) + 1; i-- > 0;)
    if (foldChar(text[i]) == needle[0] && matchesAt(i)) return i;
  return std::nullopt;
}

std::optional<TextPlace> FindInLines(const ProgramLines &lines, std::u16string_view what, const SearchFrom &from,
                                     bool downward, bool match_case) {
  return FindInLines([&](int i) { return lines[static_cast<size_t>(i)]; }, static_cast<int>(lines.size()), what,
                     from, downward, match_case);
}

}  // namespace kalvort
