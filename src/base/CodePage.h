#pragma once
// Text encodings at the edges of the core: program texts are UTF-16 lines, files and module names
// are Windows-1251 (the controls' 8-bit code page) or, where a user supplies them, UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace kalvort {

// Byte written for a character that Windows-1251 cannot represent.
inline constexpr char kCp1251DefaultChar = '?';

std::u16string fromCp1251(std::string_view bytes);
std::string toCp1251(std::u16string_view text);
// One character; returns false (and the default character) when it has no Windows-1251 form.
bool toCp1251Char(char16_t ch, char &out);
char16_t cp1251ToUnicode(unsigned char byte);

// Strict UTF-8: returns false on any malformed, overlong or surrogate sequence.
bool fromUtf8(std::string_view bytes, std::u16string &out);
std::string toUtf8(std::u16string_view text);
// Appends the UTF-8 form of `text` to `out`; runs of ASCII are copied without a check per
// character. A lone surrogate becomes U+FFFD; returns false when there was one.
bool appendUtf8(std::string &out, std::u16string_view text);

// The encoding a text file was found in, so that a rewrite can keep it.
enum class TextEncoding { Cp1251, Utf8, Utf8Bom, Utf16LE, Utf16BE };

// Decodes the bytes of a text file: a byte-order mark selects the encoding, otherwise
// well-formed UTF-8, otherwise Windows-1251.
std::u16string decodeText(std::string_view bytes, TextEncoding *found = nullptr);
std::string encodeText(std::u16string_view text, TextEncoding encoding);

// Splits at CR LF, CR or LF. A line break at the very end does not start another line.
std::vector<std::u16string> splitLines(std::u16string_view text);
// The number of lines splitLines gives, without making them.
size_t countLines(std::u16string_view text);
// Joins lines, each followed by `eol`.
std::u16string joinLines(const std::vector<std::u16string> &lines, std::u16string_view eol = u"\r\n");

}  // namespace kalvort
