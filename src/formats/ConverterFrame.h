#pragma once
// The frame every converter runs in (internal to src/formats).

#include <new>
#include <utility>

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
// step (reported when it changes), 0 again when the run ends on any path.
class ProgressRun {
 public:
  explicit ProgressRun(const ProgressSink &sink) : sink_(sink) { report(0); }
  ~ProgressRun() { report(0); }
  ProgressRun(const ProgressRun &) = delete;
  ProgressRun &operator=(const ProgressRun &) = delete;

  void step(std::size_t done, std::size_t total) {
    if (!sink_ || done < nextCheck_) return;
    const int p = progressPercent(done, total);
    if (p != last_) {
      report(p);
      // Percent boundaries lie total / 100 steps apart: none can be crossed again before this.
      const std::size_t gap = total / 100;
      nextCheck_ = done + (gap > 1 ? gap - 1 : 1);
    }
  }

 private:
  void report(int p) {
    last_ = p;
    if (sink_) sink_(p);
  }
  const ProgressSink &sink_;
  int last_ = -1;
  std::size_t nextCheck_ = 0;
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

}  // namespace kalvort::detail
