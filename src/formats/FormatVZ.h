#pragma once
// ВЗ program format: 7-bit codes of a Russian/Latin character set, one record per text line (a
// leading space, the characters, 0x03, spaces up to 32 bytes when another line follows), carried
// as one block of an LDA stream loaded at address 832.

#include "formats/Conversion.h"
#include "formats/Lda.h"

namespace kalvort {

inline constexpr std::uint32_t kVZLoadAddress = 832;
// The encoded text the loader can take back: its 8192-byte memory above the load address. The
// writer refuses anything longer, so every stream it writes reads back.
inline constexpr std::size_t kVZMaxEncodedSize = kLdaMemorySize - kVZLoadAddress;  // 7360

// Windows-1251 byte of the ВЗ code `code & 0x7F` (0x03 ends a line and is never decoded).
std::uint8_t vzDecode(std::uint8_t code);
// ВЗ code of a Windows-1251 capital А..Я (0xC0..0xDF).
std::uint8_t vzEncodeCapital(std::uint8_t cp1251);

// LDA stream to 8-bit text. False on an empty image or a stream the loader rejects; true with
// length 0 when the loaded memory holds no text.
bool ReadVZ(Conversion &conv, const std::uint8_t *image, std::size_t length,
            const ProgressSink &progress, std::size_t &outLength);
bool ReadVZ(const std::uint8_t *image, std::size_t length, const ProgressSink &progress,
            std::size_t &outLength);

// Text to LDA stream. On failure sets conv_err_code (4: a lower-case Cyrillic letter; 0: the
// encoded text passes kVZMaxEncodedSize bytes, on the line that passes it) and conv_err_str_num.
bool WriteVZ(Conversion &conv, const ProgramLines &lines, bool del_empty_string,
             const ProgressSink &progress, std::size_t &outLength);
bool WriteVZ(const ProgramLines &lines, bool del_empty_string, const ProgressSink &progress,
             std::size_t &outLength);

}  // namespace kalvort
