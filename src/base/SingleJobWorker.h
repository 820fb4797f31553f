#pragma once
// One background thread that runs at most one job at a time. A job offered while another runs is
// refused, not queued: a periodic poll skips its tick instead of piling up behind a slow device.
// The owner can wait until the running job has finished before it touches what the job uses.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kalvort {

class SingleJobWorker {
 public:
  SingleJobWorker();
  // Waits for a running job, then ends the thread.
  ~SingleJobWorker();
  SingleJobWorker(const SingleJobWorker &) = delete;
  SingleJobWorker &operator=(const SingleJobWorker &) = delete;

  // Starts `job` on the worker thread; false (and `job` dropped) while another job runs.
  bool TryRun(std::function<void()> job);
  // True from an accepted TryRun until its job has returned.
  bool Busy() const;
  // Blocks until no job runs. Everything the finished job did happens-before the return.
  void WaitIdle();
  // As WaitIdle, at most `timeout`; true when idle.
  bool WaitIdleFor(std::chrono::milliseconds timeout);
  // Jobs run so far (for tests and measurements).
  unsigned long long JobsRun() const;

 private:
  void Loop();

  mutable std::mutex mutex_;
  std::condition_variable wake_;   // a job arrived, or stop
  std::condition_variable idle_;   // a job finished
  std::function<void()> job_;
  bool busy_ = false;
  bool stop_ = false;
  unsigned long long jobs_run_ = 0;
  std::thread thread_;
};

}  // namespace kalvort
