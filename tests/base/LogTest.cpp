// The log sink: what reaches it, from which callers, and that the core prints nothing itself.

#include "base/Log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/DebugLog.h"
#include "transport/HotPlugHub.h"
#include "transport/USBDetect.h"

namespace kalvort {
namespace {

struct Line {
  LogLevel level;
  std::string text;
};

class Collected {
 public:
  LogSink sink() {
    return [this](LogLevel level, std::string_view text) {
      std::lock_guard lock(mutex_);
      lines_.push_back({level, std::string(text)});
    };
  }
  std::vector<Line> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<Line> lines_;
};

// Everything written to standard error while `run` runs.
template <typename Run>
std::string capturedStderr(Run run) {
  std::fflush(stderr);
  const int saved = dup(2);
  FILE *tmp = std::tmpfile();
  dup2(fileno(tmp), 2);
  run();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string out;
  std::rewind(tmp);
  for (int c; (c = std::fgetc(tmp)) != EOF;) out.push_back(static_cast<char>(c));
  std::fclose(tmp);
  return out;
}

TEST(Log, LinesReachTheSinkSetAndNothingIsPrinted) {
  Collected collected;
  const std::string printed = capturedStderr([&] {
    LogMessage(LogLevel::Warning, "before any sink");
    SetLogSink(collected.sink());
    LogMessage(LogLevel::Warning, "a warning");
    write_log("a trace line");  // the device trace goes to the sink as debug lines

    // A hot-plug handler that fails is reported as a warning.
    auto dispatcher = std::make_shared<TQueuedDispatcher>();
    TUSBDetector detector(kUsbProgrammerClassGUID, dispatcher);
    detector.SetOnChange([](TUSBDetector *, TDeviceOperation) { throw std::runtime_error("boom"); });
    THotPlugHub::Instance().Broadcast(kUsbProgrammerClassGUID, doInsert);
    dispatcher->Deliver();

    SetLogSink(nullptr);
    LogMessage(LogLevel::Warning, "after the sink was removed");
  });
  EXPECT_EQ(printed, "");
  const auto lines = collected.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].level, LogLevel::Warning);
  EXPECT_EQ(lines[0].text, "a warning");
  EXPECT_EQ(lines[1].level, LogLevel::Debug);
  EXPECT_EQ(lines[1].text, "a trace line");
  EXPECT_EQ(lines[2].level, LogLevel::Warning);
  EXPECT_EQ(lines[2].text, "hot-plug handler failed: boom");
}

TEST(Log, ManyThreadsOneLineAtATimeAndAReplacedSinkIsNeverCalledAgain) {
  std::atomic<int> inside{0}, overlaps{0}, first_calls{0}, second_calls{0};
  std::atomic<bool> replaced{false}, late_first_call{false};
  auto counting = [&](std::atomic<int> &calls, bool is_first) {
    return [&, is_first](LogLevel, std::string_view) {
      if (inside.fetch_add(1) != 0) ++overlaps;
      if (is_first && replaced.load()) late_first_call = true;
      ++calls;
      inside.fetch_sub(1);
    };
  };
  SetLogSink(counting(first_calls, true));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 2000; ++i) LogMessage(LogLevel::Debug, "line");
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  SetLogSink(counting(second_calls, false));
  replaced = true;
  for (auto &t : threads) t.join();
  SetLogSink(nullptr);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_FALSE(late_first_call.load());
  EXPECT_EQ(first_calls.load() + second_calls.load(), 8000);
}

}  // namespace
}  // namespace kalvort
