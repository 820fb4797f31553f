#pragma once
// 2С42 / 2Р22 program image: a stream of 7-bit character codes with even parity in bit 7, LF at
// the end of every block and NUL runs as leader and block separators. In the text a NUL is "^"
// and the BS code is the two letters "BS".

#include "formats/Conversion.h"

namespace kalvort {

// Clears bit 7, then sets it when bits 0-6 hold an odd number of ones.
std::uint8_t Set7thParityBit(std::uint8_t b);

// Image to 8-bit text (Windows-1251, CR LF line ends). False on an empty image or when no byte
// was written; `outLength` is the text's length.
bool Read2C42(Conversion &conv, const std::uint8_t *image, std::size_t length,
              const ProgressSink &progress, std::size_t &outLength);
bool Read2C42(const std::uint8_t *image, std::size_t length, const ProgressSink &progress,
              std::size_t &outLength);

// Text to image. `del_space` drops spaces, `del_empty_string` drops a line end when nothing was
// written since the last LF. On failure sets conv_err_code (4: a character above 0x7F, 5: no
// bytes) and conv_err_str_num.
bool Write2C42(Conversion &conv, const ProgramLines &lines, bool del_space, bool del_empty_string,
               const ProgressSink &progress, std::size_t &outLength);
bool Write2C42(const ProgramLines &lines, bool del_space, bool del_empty_string,
               const ProgressSink &progress, std::size_t &outLength);

}  // namespace kalvort
