#pragma once
// The editor's read-only views of a program image: the hex dump and the raw bytes taken as text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/Conversion.h"

namespace kalvort {

// One line per 16 bytes: the offset of its first byte as six (or more) upper-case hex digits,
// ": ", then every byte as two upper-case hex digits and a space. Lines are joined with '\n'; no
// line for no bytes. 47 30 B1 0A gives "000000: 47 30 B1 0A ".
std::string HexDumpText(const uint8_t *bytes, size_t length);

// The image taken as text with one character per byte whose code is the byte's value, up to the
// first zero byte, split into lines at CR LF, CR or LF.
ProgramLines RawBinaryLines(const uint8_t *bytes, size_t length);

// The line with every control character (below U+0020 and U+007F) replaced by its visible
// picture (U+2400 + code, U+2421 for DEL), so a raw view shows them instead of hiding them.
std::u16string VisibleControlText(std::u16string_view line);

}  // namespace kalvort
