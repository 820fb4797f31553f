#include "base/Log.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace kalvort {

namespace {

struct SinkState {
  std::mutex lock;
  LogSink sink;
  std::atomic<bool> set{false};  // lets a line with no sink go without taking the lock
};

SinkState &state() {
  static SinkState s;
  return s;
}

}  // namespace

void SetLogSink(LogSink sink) {
  SinkState &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.sink = std::move(sink);
  s.set = static_cast<bool>(s.sink);
}

void LogMessage(LogLevel level, std::string_view text) {
  SinkState &s = state();
  if (!s.set.load()) return;
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.sink) s.sink(level, text);
}

}  // namespace kalvort
