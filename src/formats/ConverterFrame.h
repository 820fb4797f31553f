#pragma once
// The frame every converter runs in (internal to src/formats).

#include <new>
#include <utility>
#include <vector>

#include "formats/Conversion.h"

namespace kalvort::detail {

// The object behind the process-wide calls; hold LockConversion() while using it.
Conversion &processConversion();

// Runs `body` on the process-wide conversion under its lock.
template <typename Body>
bool onProcessConversion(Body &&body) {
  auto lock = LockConversion();
  return std::forward<Body>(body)(processConversion());
}

// Progress for one converter run: 0 at the start, the percentage of the input consumed after each
// step (reported when it changes, so at most once per whole percent), 0 again when the run ends on
// any path. A step costs one comparison with the next position where the percentage changes;
// without a sink that position is never reached.
class ProgressRun {
 public:
  explicit ProgressRun(const ProgressSink &sink) : sink_(sink) {
    report(0);
    if (!sink_) next_ = kNever;
  }
  ~ProgressRun() { report(0); }
  ProgressRun(const ProgressRun &) = delete;
  ProgressRun &operator=(const ProgressRun &) = delete;

  void step(std::size_t done, std::size_t total) {
    if (done >= next_) advance(done, total);
  }

 private:
  static constexpr std::size_t kNever = static_cast<std::size_t>(-1);

  void advance(std::size_t done, std::size_t total) {
    const int p = progressPercent(done, total);
    if (p != last_) report(p);
    next_ = firstAbove(p, total);
  }

  // The first count of consumed input whose percentage passes `p`: 100 * d / total rounds to
  // more than p past (p + 0.5) %, and at exactly (p + 0.5) % when p is odd (halves to even).
  static std::size_t firstAbove(int p, std::size_t total) {
    if (p >= 100 || total == 0) return kNever;
    const unsigned long long half = (2ULL * static_cast<unsigned>(p) + 1) * total;
    const unsigned long long d = half / 200 + ((half % 200 == 0 && (p & 1)) ? 0 : 1);
    return static_cast<std::size_t>(d);
  }

  void report(int p) {
    last_ = p;
    if (sink_) sink_(p);
  }
  const ProgressSink &sink_;
  int last_ = -1;
  std::size_t next_ = 0;
};

// Runs a converter body, turning an allocation failure into a plain false (no exception leaves the
// converters).
template <typename Body>
bool guardAllocation(Conversion &conv, Body &&body) {
  try {
    return std::forward<Body>(body)();
  } catch (const std::bad_alloc &) {
    conv.releaseResult();
    return false;
  }
}

// One converter run on `conv`: its progress (see ProgressRun), the last result released before the
// body runs, an allocation failure turned into a plain false. The body hands the bytes it made to
// keep(), which stores them as the result and sets the caller's length.
class ConverterRun : public ProgressRun {
 public:
  ConverterRun(Conversion &conv, const ProgressSink &progress, std::size_t &outLength)
      : ProgressRun(progress), conv_(conv), outLength_(outLength) {}

  // Stores `bytes` as the result; returns `ok`, what the run reports with them.
  bool keep(std::vector<std::uint8_t> &&bytes, bool ok = true) {
    outLength_ = bytes.size();
    conv_.storeResult(std::move(bytes));
    return ok;
  }

  template <typename Body>
  bool run(Body &&body) {
    outLength_ = 0;
    conv_.releaseResult();
    return guardAllocation(conv_, [&] { return std::forward<Body>(body)(*this); });
  }

 private:
  Conversion &conv_;
  std::size_t &outLength_;
};

// Runs a converter from an image to text: an empty image fails at once and leaves the last result.
template <typename Body>
bool runReader(Conversion &conv, const std::uint8_t *image, std::size_t length, const ProgressSink &progress,
               std::size_t &outLength, Body &&body) {
  ConverterRun run(conv, progress, outLength);
  if (length == 0 || image == nullptr) return false;
  return run.run(std::forward<Body>(body));
}

// Runs a converter from text to an image: the error fields start clear; no lines fail at once and
// leave the last result.
template <typename Body>
bool runWriter(Conversion &conv, const ProgramLines &lines, const ProgressSink &progress, std::size_t &outLength,
               Body &&body) {
  ConverterRun run(conv, progress, outLength);
  conv.conv_err_code = kConvErrNone;
  conv.conv_err_str_num = 0;
  if (lines.empty()) return false;
  return run.run(std::forward<Body>(body));
}

}  // namespace kalvort::detail
