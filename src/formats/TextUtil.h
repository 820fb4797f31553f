#pragma once
// Small text helpers shared by the converters and the text edits.

#include <cstdint>
#include <string>
#include <string_view>

namespace kalvort {

// Removes characters up to U+0020 (spaces and control characters) from both ends.
std::u16string_view trimView(std::u16string_view s);
std::u16string trimControl(std::u16string_view s);

// Parses an optionally signed ("+" or "-") decimal integer that fills the whole text and fits in
// 32 bits. With `leadingSpaces`, spaces before it are allowed.
bool parseInt32(std::u16string_view s, bool leadingSpaces, std::int32_t &out);

}  // namespace kalvort
