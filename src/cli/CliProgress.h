#pragma once
// Progress of a long device action on standard error: a redrawn bar when standard error is a
// terminal, otherwise a "LABEL: N%" line for every tenth reached (N = 0, 10, ... 100), so logs of
// scripted runs stay readable.
// update() may be called from the device's worker thread.

#include <mutex>
#include <string>

namespace kalvort::cli {

class CliProgress {
 public:
  CliProgress();
  explicit CliProgress(bool terminal) : terminal_(terminal) {}
  ~CliProgress();
  CliProgress(const CliProgress &) = delete;
  CliProgress &operator=(const CliProgress &) = delete;

  // Starts a new line of progress with this label (ends the previous bar first).
  void stage(const std::string &label);
  // Position 0..100 of the current stage; values out of range are clamped.
  void update(int percent);
  // Ends the bar's line on a terminal; call before printing anything else to standard error.
  void finish();

 private:
  void drawLocked();

  bool terminal_;
  std::mutex mutex_;
  std::string label_;
  int percent_ = -1;
  bool open_ = false;  // a bar is drawn and its line not yet ended
};

}  // namespace kalvort::cli
