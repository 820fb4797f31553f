#pragma once
// What every program converter shares: the conversion result it leaves behind, the error report of
// the text-to-binary direction, and the progress sink.
//
// Each converter exists twice:
//  - taking a `Conversion &` first: the result and the error report live in that object. Any
//    number of threads may convert at once, each with its own object.
//  - without it (`Read2C42(image, length, progress, outLength)` ...): the process-wide conversion,
//    used by the desktop program's calling order: convert, then `CopyConversionResult`, then on
//    failure `conv_err_code()` / `conv_err_str_num()`. Every such call takes the process-wide
//    lock, so concurrent calls never race; a thread that needs the whole sequence to see its own
//    conversion holds `LockConversion()` around it (the lock is recursive).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kalvort {

// Program text: one UTF-16 string per line, without line breaks.
using ProgramLines = std::vector<std::u16string>;

// Receives progress as a percentage 0..100. May be empty. Called only when the value changes
// (and with 0 at the start and the end of every run), so a GUI can bind it to a blocking call.
using ProgressSink = std::function<void(int)>;

// Reasons a text-to-binary conversion stopped (`conv_err_code`).
inline constexpr int kConvErrNone = 0;         // no reason recorded
inline constexpr int kConvErrBlockNumber = 3;  // malformed block number or word slot in use
inline constexpr int kConvErrSymbol = 4;       // character, word or value the format cannot hold
inline constexpr int kConvErrNoOutput = 5;     // the text produced no bytes

// The user's message for a `conv_err_code` (UTF-8).
const char *convErrMessage(int code);

class Conversion {
 public:
  // The latest converter's output, if a converter got past its input checks.
  bool hasResult() const { return has_result_; }
  const std::vector<std::uint8_t> &result() const { return result_; }

  // Copies the first `count` bytes of the result into `dest`. False, copying nothing, when there
  // is no result or `count` exceeds its length.
  bool CopyConversionResult(std::uint8_t *dest, std::size_t count) const;

  // Set to 0 by every text-to-binary converter when it starts; meaningful after it returned false.
  int conv_err_code = kConvErrNone;
  int conv_err_str_num = 0;  // 1-based line on which the conversion stopped

  // Used by the converters.
  void releaseResult();
  void storeResult(std::vector<std::uint8_t> &&bytes);

 private:
  std::vector<std::uint8_t> result_;
  bool has_result_ = false;
};

// The process-wide conversion (see above).
std::unique_lock<std::recursive_mutex> LockConversion();
bool CopyConversionResult(std::uint8_t *dest, std::size_t count);
int conv_err_code();
int conv_err_str_num();

// Rounds done * 100 / total to the nearest integer, halves to even; 0 when total is 0.
int progressPercent(std::size_t done, std::size_t total);

}  // namespace kalvort
