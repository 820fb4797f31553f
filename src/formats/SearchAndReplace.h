#pragma once
// Searching the editor text: the case folding of the find and replace dialogs and the search over
// the text's lines from the caret, down to the end or up to the start.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formats/Conversion.h"

namespace kalvort {

// Lowers A-Z, А-Я and the Cyrillic capitals Ё Ѓ Є Ѕ І Ї Ґ; every other character stays. The result
// has the length of the input, so positions in a folded line are positions in the line.
std::u16string MCase(std::u16string_view s);
// The string reversed.
std::u16string InvertSt(std::u16string_view s);
// 1-based position of the last occurrence of `sub` in `s`, 0 when there is none.
size_t PosR2L(std::u16string_view sub, std::u16string_view s);

// A place in the text: line and column, both from 0, columns in UTF-16 units.
struct TextPlace {
  int line = 0;
  int column = 0;
};

// Where a search starts. Downward it looks from `caret` (the end of the selection) to the end of
// the text; upward from just before `selection_start` back to the start of the text, taking the
// last occurrence in each line.
struct SearchFrom {
  TextPlace caret;
  TextPlace selection_start;
};

// Line `i` of the text; called only for 0 <= i < line count.
using LineSource = std::function<std::u16string(int)>;

// The first occurrence of `what` in the search direction; nothing for an empty `what` or no hit.
// Without match case both the search text and the lines are folded with MCase.
std::optional<TextPlace> FindInLines(const LineSource &line, int line_count, std::u16string_view what,
                                     const SearchFrom &from, bool downward, bool match_case);
// The same search over the whole text at once, its lines separated by a character `what` does not
// hold (so no hit spans two lines). Downward: the first occurrence at or after `from`; upward: the
// last one that ends at or before `from`. Without match case the text is compared folded with
// MCase as it is read. An offset into `text`, or nothing.
std::optional<size_t> FindInText(std::u16string_view text, std::u16string_view what, size_t from, bool downward,
                                 bool match_case);
std::optional<TextPlace> FindInLines(const ProgramLines &lines, std::u16string_view what, const SearchFrom &from,
                                     bool downward, bool match_case);

}  // namespace kalvort
