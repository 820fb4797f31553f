#include "formats/FormatNC31.h"

#include <charconv>
#include <string>

#include "formats/ConverterFrame.h"
#include "formats/TextUtil.h"

namespace kalvort {
namespace {

constexpr std::uint8_t kBlockEnd = 0x80;
constexpr std::uint8_t kQuote = 0x40;
constexpr std::uint8_t kModMore = 0x10;  // ">"
constexpr std::uint8_t kModLess = 0x20;  // "<"
constexpr std::uint8_t kModHash = 0x30;  // "#"
constexpr NC31Word kEmptyWord = {0x00, kBlockEnd, 0x00, 0x00};

// Address letters by code 1..8; codes 1, 2, 7, 8 carry signed binary values, 3..6 BCD.
constexpr char kLetters[] = "?XZGMSTPF";
bool isSignedAddress(int code) { return code == 1 || code == 2 || code == 7 || code == 8; }

std::int32_t wordValue(const std::uint8_t *w) { return w[0] << 16 | w[3] << 8 | w[2]; }

bool isEmptySlot(const std::uint8_t *w) {
  return w[0] == 0 && w[2] == 0 && w[3] == 0 && (w[1] == 0 || w[1] == kBlockEnd);
}

void appendAscii(std::string &line, long long v) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  (void)ec;
  line.append(buf, end);
}

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Characters that continue a word once its digits have begun.
bool isWordTail(char16_t c) {
  return isDigit(c) || c == u'"' || c == u'-' || c == u'#' || c == u'*' || c == u'<' || c == u'>';
}

// Splits a trimmed, upper-cased line into words: a run of non-digits, then a run of digits and
// marks. False when a word would begin with "-" or a digit.
bool splitWords(std::u16string_view rest, std::vector<std::u16string> &words) {
  while (!rest.empty()) {
    if (rest[0] == u'-' || isDigit(rest[0])) return false;
    std::size_t p = 0;
    while (p < rest.size() && rest[p] != u'-' && !isDigit(rest[p])) ++p;
    std::size_t q = p;
    while (q < rest.size() && isWordTail(rest[q])) ++q;
    if (q >= rest.size()) {
      words.emplace_back(rest);
      return true;
    }
    std::u16string word = trimControl(rest.substr(0, q));
    if (!word.empty()) words.push_back(std::move(word));
    rest = trimView(rest.substr(q));
  }
  return true;
}

void eraseFirst(std::u16string &word, char16_t c) {
  if (auto pos = word.find(c); pos != std::u16string::npos) word.erase(pos, 1);
}

// Removes comments: "(" up to the next ")", possibly spanning lines (`inComment` carries over).
void stripComments(std::u16string &line, bool &inComment) {
  std::size_t start = 0;
  for (;;) {
    if (inComment) {
      const auto close = line.find(u')', start);
      if (close == std::u16string::npos) {
        line.erase(start);
        return;
      }
      line.erase(start, close - start + 1);
      inComment = false;
    } else {
      const auto open = line.find(u'(');
      if (open == std::u16string::npos) return;
      start = open;
      inComment = true;
    }
  }
}

struct WordError {
  int code;
};

}  // namespace

std::int32_t intToBCD(std::int32_t v) {
  // 64-bit arithmetic so that no input can overflow; the result keeps the low 32 bits.
  long long rest = v;
  unsigned long long bcd = 0;
  static constexpr long long kPowers[] = {100000, 10000, 1000, 100, 10};
  int shift = 20;
  for (long long power : kPowers) {
    const long long digit = (rest / power) & 0xF;
    bcd |= static_cast<unsigned long long>(digit) << shift;
    rest -= digit * power;
    shift -= 4;
  }
  bcd |= static_cast<unsigned long long>(rest);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(bcd));
}

std::int32_t BCDToint(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  std::int32_t sum = 0;
  std::int32_t power = 1;
  for (int nibble = 0; nibble < 6; ++nibble) {
    sum += static_cast<std::int32_t>((u >> (4 * nibble)) & 0xF) * power;
    power *= 10;
  }
  return sum;
}

std::uint32_t InvWrd(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

bool add_num(std::int32_t v, NC31Word &word) {
  // Two's complement modulo 2^24: adding 2^24 to a negative value leaves the low 24 bits as they are.
  const auto u = static_cast<std::uint32_t>(v);
  word[0] |= static_cast<std::uint8_t>(u >> 16);
  word[2] |= static_cast<std::uint8_t>(u);
  word[3] |= static_cast<std::uint8_t>(u >> 8);
  return true;
}

bool add_BCD(std::int32_t v, NC31Word &word) {
  if (v < 0) return false;
  return add_num(intToBCD(v), word);
}

bool ReadNC31(Conversion &conv, const std::uint8_t *image, std::size_t length, bool merge,
              const ProgressSink &progress, std::size_t &outLength) {
  detail::ProgressRun run(progress);
  if (length == 0 || image == nullptr) return false;
  outLength = 0;
  conv.releaseResult();
  return detail::guardAllocation(conv, [&] {
    const std::size_t words = length / 4 + (length % 4 ? 1 : 0);
    std::vector<std::uint8_t> out;
    std::string line;
    bool open = false;
    bool emitted = false;
    auto emit = [&] {
      out.insert(out.end(), line.begin(), line.end());
      line.clear();
      open = false;
      emitted = true;
    };
    for (std::size_t s = 0;; ++s) {
      if (s == kNC31ReadSlots) {
        if (open) {
          line += "\r\n";
          emit();
        }
        break;
      }
      if (s >= words) break;  // an open merged line is dropped
      std::uint8_t w[4] = {0, 0, 0, 0};
      for (std::size_t k = 0; k < 4 && s * 4 + k < length; ++k) w[k] = image[s * 4 + k];
      run.step(s + 1, words);
      if (isEmptySlot(w)) continue;
      if (!open) {
        line = "N0000 ";
        line[1] = static_cast<char>('0' + s / 1000 % 10);
        line[2] = static_cast<char>('0' + s / 100 % 10);
        line[3] = static_cast<char>('0' + s / 10 % 10);
        line[4] = static_cast<char>('0' + s % 10);
        open = true;
      }
      const std::uint8_t flag = w[1];
      if (flag & kQuote) line += '"';
      const int code = flag & 0x0F;
      if (code == 0 || code > 8) {
        line.clear();  // the unfinished line goes, merged or not
        break;
      }
      line += kLetters[code];
      static constexpr char kModifiers[] = {0, '>', '<', '#'};
      if (const int mod = (flag >> 4) & 3) line += kModifiers[mod];
      const std::int32_t value = wordValue(w);
      if (isSignedAddress(code)) {
        if (value >= 0x800000) {
          line += '-';
          appendAscii(line, 0x1000000 - value);
        } else {
          appendAscii(line, value);
        }
      } else {
        appendAscii(line, BCDToint(value));
      }
      const bool blockEnd = flag & kBlockEnd;
      if (!blockEnd && merge) {
        // Long blocks are broken after the word that passes 116 characters.
        if (line.size() > 116) {
          line += "*\r\n";
          emit();
        } else {
          line += ' ';
        }
      } else {
        if (!blockEnd) line += '*';
        line += "\r\n";
        emit();
      }
    }
    outLength = out.size();
    conv.storeResult(std::move(out));
    return emitted;
  });
}

bool WriteNC31(Conversion &conv, const ProgramLines &lines, const ProgressSink &progress,
               std::size_t &outLength) {
  detail::ProgressRun run(progress);
  conv.conv_err_code = kConvErrNone;
  conv.conv_err_str_num = 0;
  if (lines.empty()) return false;
  outLength = 0;
  conv.releaseResult();
  return detail::guardAllocation(conv, [&] {
    std::vector<std::uint8_t> image(kNC31ImageSize, 0);
    std::vector<bool> filled(kNC31Slots, false);
    for (std::size_t s = 0; s < kNC31Slots; ++s)
      std::copy(kEmptyWord.begin(), kEmptyWord.end(), image.begin() + s * 4);
    std::size_t cursor = 0;
    bool inComment = false;

    auto encodeLine = [&](std::u16string line) -> int {
      // Returns 0 to go on, -1 at the end-of-program mark, or an error code.
      line = trimControl(line);
      if (line.empty()) return 0;
      stripComments(line, inComment);
      if (line.empty() || line[0] == u';' || line[0] == u'%') return 0;
      if (line[0] == u'^') return -1;
      for (auto &c : line)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      line = trimControl(line);
      std::vector<std::u16string> words;
      if (!splitWords(line, words)) return kConvErrSymbol;
      for (std::size_t k = 0; k < words.size(); ++k) {
        std::u16string word = std::move(words[k]);
        if (word[0] == u'N') {
          std::int32_t slot;
          if (!parseInt32(trimControl(word.substr(1)), false, slot) || slot < 0 ||
              static_cast<std::size_t>(slot) >= kNC31Slots || filled[slot])
            return kConvErrBlockNumber;
          cursor = static_cast<std::size_t>(slot);
          continue;
        }
        std::uint8_t flag = kBlockEnd;
        static constexpr char16_t kSearch[] = u"XUZWPFGMST";
        static constexpr std::uint8_t kCodes[] = {1, 1 | kQuote, 2, 2 | kQuote, 7, 8, 3, 4, 5, 6};
        std::size_t letter = 0;
        std::size_t pos = std::u16string::npos;
        for (; letter < 10; ++letter)
          if ((pos = word.find(kSearch[letter])) != std::u16string::npos) break;
        if (letter == 10) return kConvErrSymbol;
        flag |= kCodes[letter];
        word.erase(pos, 1);
        static constexpr std::pair<char16_t, std::uint8_t> kMarks[] = {
            {u'<', kModLess}, {u'>', kModMore}, {u'"', kQuote}, {u'#', kModHash}};
        for (auto [mark, bits] : kMarks) {
          if (auto at = word.find(mark); at != std::u16string::npos) {
            flag |= bits;
            word.erase(at, 1);
          }
        }
        if (word.find(u'*') != std::u16string::npos) {
          flag &= ~kBlockEnd;
          eraseFirst(word, u'*');
        }
        if (k + 1 != words.size()) flag &= ~kBlockEnd;
        NC31Word w = {0, flag, 0, 0};
        if (!word.empty()) {
          std::int32_t value;
          if (!parseInt32(word, true, value)) return kConvErrSymbol;
          const int code = flag & 0x0F;
          // add_BCD refuses a negative value; storing it as 0 would turn G-1 into G0.
          if (isSignedAddress(code) ? !add_num(value, w) : !add_BCD(value, w))
            return kConvErrSymbol;
        }
        // The table ends at slot 1099; a word past it would overwrite the trailer.
        if (cursor >= kNC31Slots) return kConvErrBlockNumber;
        std::copy(w.begin(), w.end(), image.begin() + cursor * 4);
        filled[cursor] = true;
        ++cursor;
      }
      return 0;
    };

    for (std::size_t i = 0; i < lines.size(); ++i) {
      const int r = encodeLine(lines[i]);
      run.step(i + 1, lines.size());
      if (r < 0) break;
      if (r > 0) {
        conv.conv_err_code = r;
        conv.conv_err_str_num = static_cast<int>(i + 1);
        return false;
      }
    }
    outLength = image.size();
    conv.storeResult(std::move(image));
    return true;
  });
}

bool ReadNC31(const std::uint8_t *image, std::size_t length, bool merge,
              const ProgressSink &progress, std::size_t &outLength) {
  return detail::onProcessConversion(
      [&](Conversion &conv) { return ReadNC31(conv, image, length, merge, progress, outLength); });
}

bool WriteNC31(const ProgramLines &lines, const ProgressSink &progress, std::size_t &outLength) {
  return detail::onProcessConversion(
      [&](Conversion &conv) { return WriteNC31(conv, lines, progress, outLength); });
}

}  // namespace kalvort
