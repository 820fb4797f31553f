#include "base/SingleJobWorker.h"

namespace kalvort {

SingleJobWorker::SingleJobWorker() : thread_([this] { Loop(); }) {}

SingleJobWorker::~SingleJobWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool SingleJobWorker::TryRun(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (busy_ || stop_) return false;
    busy_ = true;
    job_ = std::move(job);
  }
  wake_.notify_one();
  return true;
}

bool SingleJobWorker::Busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return busy_;
}

void SingleJobWorker::WaitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !busy_; });
}

bool SingleJobWorker::WaitIdleFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return !busy_; });
}

unsigned long long SingleJobWorker::JobsRun() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_run_;
}

void SingleJobWorker::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A job accepted before stop still runs: its owner may be waiting for its result.
    wake_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    job_ = nullptr;
    lock.unlock();
    if (job) job();
    job = nullptr;  // the job's captures die on this thread, before the owner sees it idle
    lock.lock();
    busy_ = false;
    ++jobs_run_;
    idle_.notify_all();
  }
}

}  // namespace kalvort
