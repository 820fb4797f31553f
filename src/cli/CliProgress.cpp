#include "cli/CliProgress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace kalvort::cli {

namespace {
constexpr int kBarWidth = 30;
}

CliProgress::CliProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

CliProgress::~CliProgress() { finish(); }

void CliProgress::stage(const std::string &label) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_) std::fputs("\n", stderr);
  open_ = false;
  label_ = label;
  percent_ = -1;
}

void CliProgress::update(int percent) {
  percent = std::clamp(percent, 0, 100);
  std::lock_guard<std::mutex> lock(mutex_);
  if (terminal_) {
    if (percent == percent_) return;
    percent_ = percent;
    drawLocked();
    return;
  }
  // Without a terminal a line when a new tenth is reached, naming the tenth (0, 10, ... 100), so
  // a log gets eleven lines per step at most.
  const int tenth = percent / 10 * 10;
  if (tenth <= percent_) return;
  percent_ = tenth;
  drawLocked();
}

void CliProgress::drawLocked() {
  if (!terminal_) {
    std::fprintf(stderr, "%s: %d%%\n", label_.c_str(), percent_);
    std::fflush(stderr);
    return;
  }
  const int filled = percent_ * kBarWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  // \033[K clears what a longer previous label left on the line.
  std::fprintf(stderr, "\r%s [%s] %3d%%\033[K", label_.c_str(), bar.c_str(), percent_);
  std::fflush(stderr);
  open_ = true;
}

void CliProgress::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_) {
    std::fputs("\n", stderr);
    std::fflush(stderr);
  }
  open_ = false;
}

}  // namespace kalvort::cli
