#include "formats/Format2C42.h"

#include <bit>

#include "base/CodePage.h"
#include "formats/ConverterFrame.h"

namespace kalvort {
namespace {

constexpr std::uint8_t kNul = 0x00;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kBsParity = 0x88;  // BS (0x08) with its parity bit
constexpr std::uint8_t kEm = 0x19;        // EM, stored without parity
constexpr char16_t kNulMark = u'^';

}  // namespace

std::uint8_t Set7thParityBit(std::uint8_t b) {
  b &= 0x7F;
  if (std::popcount(static_cast<unsigned>(b)) & 1) b |= 0x80;
  return b;
}

bool Read2C42(Conversion &conv, const std::uint8_t *image, std::size_t length,
              const ProgressSink &progress, std::size_t &outLength) {
  return detail::runReader(conv, image, length, progress, outLength, [&](detail::ConverterRun &run) {
    std::vector<std::uint8_t> text;
    text.reserve(length * 2 + 2);
    bool afterNul = false;
    for (std::size_t i = 0; i < length; ++i) {
      const std::uint8_t b = image[i];
      const bool last = i + 1 == length;
      switch (b) {
        case kLf:
          // An LF directly before a NUL is the separator the writer puts before a NUL run.
          if (!last && image[i + 1] == kNul) {
            afterNul = true;
          } else {
            text.push_back('\r');
            text.push_back('\n');
          }
          break;
        case kNul:
          if (i == 0) afterNul = true;
          text.push_back('^');
          if (!last && image[i + 1] != kNul && afterNul) {
            text.push_back('\r');
            text.push_back('\n');
            afterNul = false;
          }
          break;
        case kEm:
          text.push_back(0x8A);
          text.push_back(0x8D);
          break;
        case kBsParity:
          text.push_back('B');
          text.push_back('S');
          break;
        default:
          text.push_back(b & 0x7F);
          break;
      }
      run.step(i + 1, length);
    }
    if (!text.empty() && text.back() == '^') {
      text.push_back('\r');
      text.push_back('\n');
    }
    const bool ok = !text.empty();
    return run.keep(std::move(text), ok);
  });
}

bool Write2C42(Conversion &conv, const ProgramLines &lines, bool del_space, bool del_empty_string,
               const ProgressSink &progress, std::size_t &outLength) {
  return detail::runWriter(conv, lines, progress, outLength, [&](detail::ConverterRun &run) {
    const std::u16string text = joinLines(lines);
    const std::size_t n = text.size();
    std::vector<std::uint8_t> image;
    image.reserve(n);
    std::size_t column = 0;  // bytes written since the last LF, NULs included
    bool nulRun = false;     // the last thing written was a NUL from "^"
    int lineCount = 0;       // CR LF pairs passed
    std::size_t i = 0;
    while (i < n) {
      const char16_t c = text[i];
      if (c == u'\t' || (c == u' ' && del_space)) {
        nulRun = false;
        ++i;
      } else if (c == kNulMark) {
        // A NUL after block text closes the block first, so a block always ends LF NUL.
        if (!nulRun && column > 0) {
          image.push_back(kLf);
          column = 0;
        }
        image.push_back(kNul);
        ++column;
        nulRun = true;
        ++i;
      } else if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') {
        if (!nulRun && !(column == 0 && del_empty_string)) {
          image.push_back(kLf);
          column = 0;
        }
        nulRun = false;
        ++lineCount;
        i += 2;
      } else if (c == u'B' && i + 1 < n && text[i + 1] == u'S') {
        image.push_back(kBsParity);
        ++column;
        nulRun = false;
        i += 2;
      } else if (c > 0x7F) {
        conv.conv_err_code = kConvErrSymbol;
        conv.conv_err_str_num = lineCount + 1;
        return false;
      } else {
        image.push_back(Set7thParityBit(static_cast<std::uint8_t>(c)));
        ++column;
        nulRun = false;
        ++i;
      }
      run.step(i, n);
    }
    if (image.empty()) {
      conv.conv_err_code = kConvErrNoOutput;
      conv.conv_err_str_num = lineCount + 1;
      return false;
    }
    return run.keep(std::move(image));
  });
}

bool Read2C42(const std::uint8_t *image, std::size_t length, const ProgressSink &progress,
              std::size_t &outLength) {
  return detail::onProcessConversion(
      [&](Conversion &conv) { return Read2C42(conv, image, length, progress, outLength); });
}

bool Write2C42(const ProgramLines &lines, bool del_space, bool del_empty_string,
               const ProgressSink &progress, std::size_t &outLength) {
  return detail::onProcessConversion([&](Conversion &conv) {
    return Write2C42(conv, lines, del_space, del_empty_string, progress, outLength);
  });
}

}  // namespace kalvort
