#include "device/DebugLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "base/Log.h"

namespace kalvort {

namespace {

struct LogState {
  std::mutex lock;
  std::FILE *file = nullptr;
  bool tried = false;  // the environment was looked at once since the last close
};

LogState &state() {
  static LogState s;
  return s;
}

// Opens the file named by KALVORT_DEBUG_LOG once; caller holds the lock.
void ensureOpen(LogState &s) {
  if (s.file || s.tried) return;
  s.tried = true;
  const char *path = std::getenv("KALVORT_DEBUG_LOG");
  if (!path || !*path) return;
  s.file = std::fopen(path, "a");
}

}  // namespace

void open_log(std::string_view) {
  LogState &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  ensureOpen(s);
}

void write_log(std::string_view line) {
  LogMessage(LogLevel::Debug, line);
  LogState &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  ensureOpen(s);
  if (!s.file) return;
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t t = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  localtime_r(&t, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &tm);
  std::fprintf(s.file, "%s.%03d %.*s\n", stamp, static_cast<int>(ms % 1000), static_cast<int>(line.size()),
               line.data());
  std::fflush(s.file);
}

void close_log() {
  LogState &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.file) std::fclose(s.file);
  s.file = nullptr;
  s.tried = false;
}

}  // namespace kalvort
