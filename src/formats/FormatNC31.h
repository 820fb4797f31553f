#pragma once
// НЦ-31 / МС-2109 program image: a table of 1100 four-byte words followed by 8 zero bytes.
// A word is: byte 0 value bits 16-23, byte 1 the flag byte (address code in bits 0-3, modifier in
// bits 4-5, quotation mark in bit 6, block end in bit 7), byte 2 value bits 0-7, byte 3 value
// bits 8-15. X, Z, P, F carry a signed 24-bit value, G, M, S, T six BCD digits.

#include <array>

#include "formats/Conversion.h"

namespace kalvort {

inline constexpr std::size_t kNC31Slots = 1100;        // word slots written
inline constexpr std::size_t kNC31ReadSlots = 1000;    // word slots read back
inline constexpr std::size_t kNC31ImageSize = kNC31Slots * 4 + 8;  // 4408

using NC31Word = std::array<std::uint8_t, 4>;

// Packs 0..999999 as six BCD digits. Larger values keep the historic arithmetic: each digit is
// the low four bits of the quotient and the final remainder is ORed in unmasked.
std::int32_t intToBCD(std::int32_t v);
// Sum of the six nibbles times their powers of ten; nibbles above 9 are taken as they are.
std::int32_t BCDToint(std::int32_t v);
// Reverses the byte order of a 32-bit word.
std::uint32_t InvWrd(std::uint32_t v);
// ORs v (a negative v as v + 2^24) into the value bytes of `word`; always true.
bool add_num(std::int32_t v, NC31Word &word);
// ORs intToBCD(v) into the value bytes of `word`; false, changing nothing, when v is negative.
bool add_BCD(std::int32_t v, NC31Word &word);

// Word table to 8-bit text, one line per word or, with `merge`, one line per block.
bool ReadNC31(Conversion &conv, const std::uint8_t *image, std::size_t length, bool merge,
              const ProgressSink &progress, std::size_t &outLength);
bool ReadNC31(const std::uint8_t *image, std::size_t length, bool merge,
              const ProgressSink &progress, std::size_t &outLength);

// Text to the 4408-byte word table. On failure sets conv_err_code (3: block number or slot,
// 4: word or value) and conv_err_str_num.
bool WriteNC31(Conversion &conv, const ProgramLines &lines, const ProgressSink &progress,
               std::size_t &outLength);
bool WriteNC31(const ProgramLines &lines, const ProgressSink &progress, std::size_t &outLength);

}  // namespace kalvort
