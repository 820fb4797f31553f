#include "formats/FormatNC31.h"

#include <algorithm>
#include <charconv>
#include <cstring>
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

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Characters that continue a word once its digits have begun.
bool isWordTail(char16_t c) {
  return isDigit(c) || c == u'"' || c == u'-' || c == u'#' || c == u'*' || c == u'<' || c == u'>';
}

// Splits a trimmed, upper-cased line into words: a run of non-digits, then a run of digits and
// marks. False when a word would begin with "-" or a digit. The words are views into `rest`.
bool splitWords(std::u16string_view rest, std::vector<std::u16string_view> &words) {
  while (!rest.empty()) {
    if (rest[0] == u'-' || isDigit(rest[0])) return false;
    std::size_t p = 0;
    while (p < rest.size() && rest[p] != u'-' && !isDigit(rest[p])) ++p;
    std::size_t q = p;
    while (q < rest.size() && isWordTail(rest[q])) ++q;
    if (q >= rest.size()) {
      words.push_back(rest);
      return true;
    }
    const std::u16string_view word = trimView(rest.substr(0, q));
    if (!word.empty()) words.push_back(word);
    rest = trimView(rest.substr(q));
  }
  return true;
}

// Removes comments: "(" up to the next ")", possibly spanning lines (`inComment` carries over).
void stripComments(std::u16string &line, bool &inComment) {
  std::size_t kept = 0;
  for (const char16_t c : line) {
    if (inComment) {
      if (c == u')') inComment = false;
    } else if (c == u'(') {
      inComment = true;
    } else {
      line[kept++] = c;
    }
  }
  line.resize(kept);
}

// Address letters in the order they are looked for in a word (the first found names the word's
// address, wherever it stands), with their flag bits.
constexpr char16_t kSearch[] = u"XUZWPFGMST";
constexpr std::uint8_t kCodes[] = {1, 1 | kQuote, 2, 2 | kQuote, 7, 8, 3, 4, 5, 6};
constexpr std::uint8_t kNoLetter = 10;

// Marks a word may carry besides its letter, each taken once: their flag bits (a "*" clears the
// block end instead).
constexpr char16_t kMarks[] = {u'<', u'>', u'"', u'#', u'*'};
constexpr std::uint8_t kMarkBits[] = {kModLess, kModMore, kQuote, kModHash, 0};
constexpr std::size_t kMarkCount = 5;
constexpr std::uint8_t kNoMark = 0xFF;

// Per ASCII character: its letter rank (kNoLetter if none) and its mark index (kNoMark if none).
struct WordCharTable {
  std::uint8_t rank[128];
  std::uint8_t mark[128];
};
constexpr WordCharTable makeWordCharTable() {
  WordCharTable t{};
  for (int c = 0; c < 128; ++c) {
    t.rank[c] = kNoLetter;
    t.mark[c] = kNoMark;
  }
  for (std::uint8_t r = 0; r < kNoLetter; ++r) t.rank[kSearch[r]] = r;
  for (std::uint8_t m = 0; m < kMarkCount; ++m) t.mark[kMarks[m]] = m;
  return t;
}
constexpr WordCharTable kWordChars = makeWordCharTable();

// The working buffers of one text-to-binary run, reused from line to line.
struct NC31Scratch {
  std::u16string line;
  std::vector<std::u16string_view> words;
  std::u16string value;
};

// Encodes one word (not a block number) into `w`: its address letter, marks and value. Returns 0
// or an error code. `last`: the line's last word, which ends the block unless it carries "*".
int encodeWord(std::u16string_view word, bool last, std::u16string &value, NC31Word &w) {
  // The first occurrence of the best-ranked letter, and of each mark, are taken out of the word;
  // what remains is its value.
  constexpr std::size_t kAbsent = std::u16string_view::npos;
  std::size_t rank = kNoLetter, letterAt = 0;
  std::size_t markAt[kMarkCount] = {kAbsent, kAbsent, kAbsent, kAbsent, kAbsent};
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char16_t c = word[i];
    if (c >= 128) continue;
    if (kWordChars.rank[c] < rank) {
      rank = kWordChars.rank[c];
      letterAt = i;
    }
    const std::uint8_t m = kWordChars.mark[c];
    if (m != kNoMark && markAt[m] == kAbsent) markAt[m] = i;
  }
  if (rank == kNoLetter) return kConvErrSymbol;
  std::uint8_t flag = kBlockEnd | kCodes[rank];
  for (std::size_t m = 0; m + 1 < kMarkCount; ++m)
    if (markAt[m] != kAbsent) flag |= kMarkBits[m];
  if (markAt[kMarkCount - 1] != kAbsent || !last) flag &= ~kBlockEnd;
  value.clear();
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char16_t c = word[i];
    const bool taken = i == letterAt || (c < 128 && kWordChars.mark[c] != kNoMark &&
                                         markAt[kWordChars.mark[c]] == i);
    if (!taken) value.push_back(c);
  }
  w = {0, flag, 0, 0};
  if (!value.empty()) {
    std::int32_t v;
    if (!parseInt32(value, true, v)) return kConvErrSymbol;
    const int code = flag & 0x0F;
    // add_BCD refuses a negative value; storing it as 0 would turn G-1 into G0.
    if (isSignedAddress(code) ? !add_num(v, w) : !add_BCD(v, w)) return kConvErrSymbol;
  }
  return 0;
}

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

namespace {

// The text of an NC31 image, written straight into a buffer sized for the longest text a word can
// give ("N0000 " + "\"X#-8388608" + "*\r\n" is 20 bytes) and cut to length at the end.
class NC31Text {
 public:
  explicit NC31Text(std::size_t slots) : out_(slots * kMaxWordText + 2), end_(out_.data()) {}

  bool lineOpen() const { return lineStart_ != nullptr; }
  // Whether a line was closed: a text with no whole line is no result.
  bool emitted() const { return emitted_; }

  // Opens a line with the block number of `slot` ("N0123 ").
  void openLine(std::size_t slot) {
    lineStart_ = end_;
    const char number[6] = {'N',
                            static_cast<char>('0' + slot / 1000 % 10),
                            static_cast<char>('0' + slot / 100 % 10),
                            static_cast<char>('0' + slot / 10 % 10),
                            static_cast<char>('0' + slot % 10),
                            ' '};
    put(number, 6);
  }

  // Writes one word to the open line and ends the line where the word ends its block. False for a
  // word without a valid address: then the unfinished line goes, merged or not.
  bool putWord(const std::uint8_t *w, bool merge) {
    const std::uint8_t flag = w[1];
    if (flag & kQuote) *end_++ = '"';
    const int code = flag & 0x0F;
    if (code == 0 || code > 8) {
      dropLine();
      return false;
    }
    *end_++ = static_cast<std::uint8_t>(kLetters[code]);
    static constexpr char kModifiers[] = {0, '>', '<', '#'};
    if (const int mod = (flag >> 4) & 3) *end_++ = static_cast<std::uint8_t>(kModifiers[mod]);
    putValue(code, wordValue(w));
    const bool blockEnd = flag & kBlockEnd;
    if (!blockEnd && merge) {
      // Long blocks are broken after the word that passes 116 characters.
      if (end_ - lineStart_ > 116) {
        closeLine("*\r\n", 3);
      } else {
        *end_++ = ' ';
      }
    } else if (blockEnd) {
      closeLine("\r\n", 2);
    } else {
      closeLine("*\r\n", 3);
    }
    return true;
  }

  void closeLine(const char *end, std::size_t n) {
    put(end, n);
    lineStart_ = nullptr;
    emitted_ = true;
  }
  void dropLine() { end_ = lineStart_; }

  std::vector<std::uint8_t> take() {
    out_.resize(static_cast<std::size_t>(end_ - out_.data()));
    return std::move(out_);
  }

 private:
  static constexpr std::size_t kMaxWordText = 24;

  void put(const char *text, std::size_t n) {
    std::memcpy(end_, text, n);
    end_ += n;
  }
  void putNumber(long long v) {
    end_ = reinterpret_cast<std::uint8_t *>(
        std::to_chars(reinterpret_cast<char *>(end_), reinterpret_cast<char *>(end_) + 12, v).ptr);
  }
  void putValue(int code, std::int32_t value) {
    if (!isSignedAddress(code)) {
      putNumber(BCDToint(value));
    } else if (value >= 0x800000) {
      *end_++ = '-';
      putNumber(0x1000000 - value);
    } else {
      putNumber(value);
    }
  }

  std::vector<std::uint8_t> out_;
  std::uint8_t *end_;                  // where the next character goes
  std::uint8_t *lineStart_ = nullptr;  // the open line, if any
  bool emitted_ = false;
};

// The word in slot `s`, zero-filled past the image's end.
void readSlot(const std::uint8_t *image, std::size_t length, std::size_t s, std::uint8_t (&w)[4]) {
  if (s * 4 + 4 <= length) {
    std::memcpy(w, image + s * 4, 4);
  } else {
    for (std::size_t k = 0; s * 4 + k < length; ++k) w[k] = image[s * 4 + k];
  }
}

}  // namespace

bool ReadNC31(Conversion &conv, const std::uint8_t *image, std::size_t length, bool merge,
              const ProgressSink &progress, std::size_t &outLength) {
  return detail::runReader(conv, image, length, progress, outLength, [&](detail::ConverterRun &run) {
    const std::size_t words = length / 4 + (length % 4 ? 1 : 0);
    const std::size_t slots = std::min(words, kNC31ReadSlots);
    NC31Text text(slots);
    bool stopped = false;
    for (std::size_t s = 0; s < slots && !stopped; ++s) {
      std::uint8_t w[4] = {0, 0, 0, 0};
      readSlot(image, length, s, w);
      run.step(s + 1, words);
      if (isEmptySlot(w)) continue;
      if (!text.lineOpen()) text.openLine(s);
      stopped = !text.putWord(w, merge);
    }
    if (text.lineOpen() && !stopped) {
      // At the end of the slots read the open line is closed; an image that ends before them
      // drops it.
      if (slots == kNC31ReadSlots) {
        text.closeLine("\r\n", 2);
      } else {
        text.dropLine();
      }
    }
    const bool emitted = text.emitted();
    return run.keep(text.take(), emitted);
  });
}

bool WriteNC31(Conversion &conv, const ProgramLines &lines, const ProgressSink &progress,
               std::size_t &outLength) {
  return detail::runWriter(conv, lines, progress, outLength, [&](detail::ConverterRun &run) {
    std::vector<std::uint8_t> image(kNC31ImageSize, 0);
    std::vector<bool> filled(kNC31Slots, false);
    for (std::size_t s = 0; s < kNC31Slots; ++s)
      std::copy(kEmptyWord.begin(), kEmptyWord.end(), image.begin() + s * 4);
    std::size_t cursor = 0;
    bool inComment = false;
    NC31Scratch scratch;

    auto encodeLine = [&](const std::u16string &source) -> int {
      // Returns 0 to go on, -1 at the end-of-program mark, or an error code.
      const std::u16string_view trimmed = trimView(source);
      if (trimmed.empty()) return 0;
      std::u16string &line = scratch.line;
      line.assign(trimmed);
      stripComments(line, inComment);
      if (line.empty() || line[0] == u';' || line[0] == u'%') return 0;
      if (line[0] == u'^') return -1;
      for (auto &c : line)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      auto &words = scratch.words;
      words.clear();
      if (!splitWords(trimView(line), words)) return kConvErrSymbol;
      for (std::size_t k = 0; k < words.size(); ++k) {
        const std::u16string_view word = words[k];
        if (word[0] == u'N') {
          std::int32_t slot;
          if (!parseInt32(trimView(word.substr(1)), false, slot) || slot < 0 ||
              static_cast<std::size_t>(slot) >= kNC31Slots || filled[slot])
            return kConvErrBlockNumber;
          cursor = static_cast<std::size_t>(slot);
          continue;
        }
        NC31Word w;
        if (const int error = encodeWord(word, k + 1 == words.size(), scratch.value, w)) return error;
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
    return run.keep(std::move(image));
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
