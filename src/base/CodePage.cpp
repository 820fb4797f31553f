#include "base/CodePage.h"

#include <array>

namespace kalvort {
namespace {

// Upper half of Windows-1251; 0x98 is unassigned and maps to U+0098 as the system converter does.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

void appendUtf16(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::u16string fromUtf16(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    out.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
  }
  return out;
}

}  // namespace

char16_t cp1251ToUnicode(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return static_cast<char16_t>(0x0410 + (byte - 0xC0));
  return kHigh[byte - 0x80];
}

std::u16string fromCp1251(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes) out.push_back(cp1251ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

bool toCp1251Char(char16_t ch, char &out) {
  if (ch < 0x80) {
    out = static_cast<char>(ch);
    return true;
  }
  if (ch >= 0x0410 && ch <= 0x044F) {
    out = static_cast<char>(0xC0 + (ch - 0x0410));
    return true;
  }
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] == ch) {
      out = static_cast<char>(0x80 + i);
      return true;
    }
  }
  out = kCp1251DefaultChar;
  return false;
}

std::string toCp1251(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c;
    toCp1251Char(text[i], c);
    // A surrogate pair is one character and becomes one default character.
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    out.push_back(c);
  }
  return out;
}

bool fromUtf8(std::string_view bytes, std::u16string &out) {
  out.clear();
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {  // a run of ASCII is copied whole
      size_t end = i + 1;
      while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
      const size_t at = out.size();
      out.resize(at + (end - i));
      char16_t *p = out.data() + at;
      for (; i < end; ++i) *p++ = static_cast<unsigned char>(bytes[i]);
      continue;
    }
    int extra;
    char32_t cp;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i <= static_cast<size_t>(extra)) return false;  // truncated sequence
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(bytes[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    appendUtf16(out, cp);
    i += extra + 1;
  }
  return true;
}

std::string toUtf8(std::u16string_view text) {
  std::string out;
  appendUtf8(out, text);
  return out;
}

bool appendUtf8(std::string &out, std::u16string_view text) {
  bool whole = true;
  out.reserve(out.size() + text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    size_t ascii = i;
    while (ascii < n && text[ascii] < 0x80) ++ascii;
    if (ascii > i) {
      const size_t at = out.size();
      out.resize(at + (ascii - i));
      char *p = out.data() + at;
      for (; i < ascii; ++i) *p++ = static_cast<char>(text[i]);
      if (i == n) break;
    }
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate has no UTF-8 form
      whole = false;
    }
    ++i;
    char bytes[4];
    size_t size;
    if (cp < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
      size = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
      size = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
      size = 4;
    }
    out.append(bytes, size);
  }
  return whole;
}

std::u16string decodeText(std::string_view bytes, TextEncoding *found) {
  TextEncoding enc = TextEncoding::Cp1251;
  std::u16string out;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    enc = TextEncoding::Utf8Bom;
    if (!fromUtf8(bytes.substr(3), out)) out = fromCp1251(bytes.substr(3));
  } else if (bytes.starts_with("\xFF\xFE")) {
    enc = TextEncoding::Utf16LE;
    out = fromUtf16(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    enc = TextEncoding::Utf16BE;
    out = fromUtf16(bytes.substr(2), true);
  } else if (fromUtf8(bytes, out)) {
    // Plain ASCII is both; call it Windows-1251 so that rewriting it stays 8-bit.
    bool ascii = true;
    for (char c : bytes) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    enc = ascii ? TextEncoding::Cp1251 : TextEncoding::Utf8;
  } else {
    out = fromCp1251(bytes);
  }
  if (found) *found = enc;
  return out;
}

std::string encodeText(std::u16string_view text, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::Cp1251:
      return toCp1251(text);
    case TextEncoding::Utf8:
      return toUtf8(text);
    case TextEncoding::Utf8Bom:
      return "\xEF\xBB\xBF" + toUtf8(text);
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
      const bool be = encoding == TextEncoding::Utf16BE;
      std::string out = be ? "\xFE\xFF" : "\xFF\xFE";
      for (char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out.push_back(be ? hi : lo);
        out.push_back(be ? lo : hi);
      }
      return out;
    }
  }
  return {};
}

size_t countLines(std::u16string_view text) {
  size_t lines = 0;
  size_t i = 0;
  bool open = false;  // characters since the last line break
  while (i < text.size()) {
    const char16_t c = text[i++];
    if (c == u'\r' || c == u'\n') {
      ++lines;
      open = false;
      if (c == u'\r' && i < text.size() && text[i] == u'\n') ++i;
    } else {
      open = true;
    }
  }
  return lines + (open ? 1 : 0);
}

std::vector<std::u16string> splitLines(std::u16string_view text) {
  // Counted first: a text of many short lines then takes one allocation for its list, not a
  // list grown by doubling (each line costs far more than its bytes).
  std::vector<std::u16string> lines;
  lines.reserve(countLines(text));
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::u16string joinLines(const std::vector<std::u16string> &lines, std::u16string_view eol) {
  std::u16string out;
  for (const auto &line : lines) {
    out += line;
    out += eol;
  }
  return out;
}

}  // namespace kalvort
