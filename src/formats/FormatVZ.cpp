#include "formats/FormatVZ.h"

#include <array>

#include "base/CodePage.h"
#include "formats/ConverterFrame.h"
#include "formats/Lda.h"

namespace kalvort {
namespace {

constexpr std::uint8_t kEndOfLine = 0x03;
constexpr std::size_t kRecordSize = 32;

// ВЗ codes of А..Я in Windows-1251 order (0xC0..0xDF). Ъ has no code of its own and shares 0x17.
constexpr std::array<std::uint8_t, 32> kCapitalCodes = {
    0x61, 0x62, 0x77, 0x67, 0x64, 0x65, 0x76, 0x7A,  // А Б В Г Д Е Ж З
    0x69, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70,  // И Й К Л М Н О П
    0x72, 0x73, 0x74, 0x75, 0x66, 0x68, 0x63, 0x7E,  // Р С Т У Ф Х Ц Ч
    0x7B, 0x7D, 0x17, 0x79, 0x78, 0x7C, 0x60, 0x71,  // Ш Щ Ъ Ы Ь Э Ю Я
};

constexpr std::array<std::uint8_t, 128> makeDecodeTable() {
  std::array<std::uint8_t, 128> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = '?';
  t[0x0A] = '\n';
  t[0x0D] = '\r';
  t[0x17] = '`';
  t[0x1B] = '<';
  t[0x1C] = '>';
  t[0x03] = 'o';
  t[0x1E] = 'o';
  for (int c = 0x20; c < 0x60; ++c) t[c] = static_cast<std::uint8_t>(c);
  t[0x22] = '~';
  t[0x27] = '~';
  t[0x24] = 0xA4;
  t[0x40] = '*';
  t[0x5C] = '|';
  // Cyrillic capitals: invert the writer's table, leaving 0x17 to the grave accent above.
  for (int i = 0; i < 32; ++i)
    if (kCapitalCodes[i] >= 0x60) t[kCapitalCodes[i]] = static_cast<std::uint8_t>(0xC0 + i);
  t[0x7F] = '|';
  return t;
}
constexpr std::array<std::uint8_t, 128> kDecode = makeDecodeTable();

}  // namespace

std::uint8_t vzDecode(std::uint8_t code) { return kDecode[code & 0x7F]; }

std::uint8_t vzEncodeCapital(std::uint8_t cp1251) { return kCapitalCodes[(cp1251 - 0xC0) & 0x1F]; }

bool ReadVZ(Conversion &conv, const std::uint8_t *image, std::size_t length,
            const ProgressSink &progress, std::size_t &outLength) {
  return detail::runReader(conv, image, length, progress, outLength, [&](detail::ConverterRun &run) {
    std::vector<std::uint8_t> memory;
    int start = 0;
    if (!LoadLDA({image, length}, memory, start)) return false;
    // The program runs from the first block's address to the end of the last data block.
    const std::size_t from = static_cast<std::size_t>(start);
    const std::size_t n = memory.size() > from ? memory.size() - from : 0;
    std::vector<std::uint8_t> text;
    text.reserve(n + n / 8);
    bool started = false;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint8_t b = memory[from + i];
      if (!started && b == ' ') {
        // Leading spaces of a record (its lead byte, padding, indentation) are not text.
      } else if (b == kEndOfLine) {
        text.push_back('\r');
        text.push_back('\n');
        started = false;
      } else {
        text.push_back(vzDecode(b));
        started = true;
      }
      run.step(i + 1, n);
    }
    return run.keep(std::move(text));
  });
}

bool WriteVZ(Conversion &conv, const ProgramLines &lines, bool del_empty_string,
             const ProgressSink &progress, std::size_t &outLength) {
  return detail::runWriter(conv, lines, progress, outLength, [&](detail::ConverterRun &run) {
    const std::string text = toCp1251(joinLines(lines));
    const std::size_t n = text.size();
    std::vector<std::uint8_t> encoded;
    encoded.reserve(n + n / 2 + 1);
    int lineCount = 0;
    // Fails once the encoded text passes what the loader's memory holds above the load address.
    auto overLimit = [&](int line) {
      if (encoded.size() <= kVZMaxEncodedSize) return false;
      conv.conv_err_code = kConvErrNone;
      conv.conv_err_str_num = line;
      return true;
    };
    encoded.push_back(' ');
    std::size_t column = 1;
    std::size_t i = 0;
    while (i < n) {
      const auto b = static_cast<std::uint8_t>(text[i]);
      if (b == '\t') {
        ++i;
      } else if (b == '\r' && i + 1 < n && text[i + 1] == '\n') {
        i += 2;
        const bool more = i < n;
        if (column > 1 || !del_empty_string) {
          encoded.push_back(kEndOfLine);
          if (more) {
            ++column;
            if (column < kRecordSize) encoded.insert(encoded.end(), kRecordSize - column, ' ');
          }
          column = 0;
          if (overLimit(lineCount + 1)) return false;
        }
        if (more) {
          encoded.push_back(' ');
          column = 1;
          if (overLimit(lineCount + 2)) return false;
        }
        ++lineCount;
      } else if (b > 0xDF) {
        conv.conv_err_code = kConvErrSymbol;
        conv.conv_err_str_num = lineCount + 1;
        return false;
      } else {
        encoded.push_back(b >= 0xC0 ? vzEncodeCapital(b) : b);
        ++column;
        ++i;
        if (overLimit(lineCount + 1)) return false;
      }
      run.step(i, n);
    }
    std::vector<std::uint8_t> stream;
    stream.reserve(encoded.size() + 21);
    if (!SaveLDA(encoded, stream, kVZLoadAddress, encoded.size())) return false;
    return run.keep(std::move(stream));
  });
}

bool ReadVZ(const std::uint8_t *image, std::size_t length, const ProgressSink &progress,
            std::size_t &outLength) {
  return detail::onProcessConversion(
      [&](Conversion &conv) { return ReadVZ(conv, image, length, progress, outLength); });
}

bool WriteVZ(const ProgramLines &lines, bool del_empty_string, const ProgressSink &progress,
             std::size_t &outLength) {
  return detail::onProcessConversion([&](Conversion &conv) {
    return WriteVZ(conv, lines, del_empty_string, progress, outLength);
  });
}

}  // namespace kalvort
