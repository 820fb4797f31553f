#include "support/BackgroundWorker.h"

#include <QMetaObject>

namespace kalvort::app {

void Handback::post(std::function<void()> f) {
  // Queued to the worker object, which lives on the owner's thread as long as any job can run;
  // the context is checked there, where it may be deleted.
  QMetaObject::invokeMethod(
      &owner_,
      [self = shared_from_this(), f = std::move(f)] {
        if (self->open()) f();
      },
      Qt::QueuedConnection);
}

bool Handback::call(const std::function<void()> &f) {
  struct Answer {
    bool ran = false;
    bool done = false;
  };
  auto answer = std::make_shared<Answer>();
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return false;
  }
  QMetaObject::invokeMethod(
      &owner_,
      [self = shared_from_this(), f, answer] {
        const bool ran = self->open();
        if (ran) f();
        std::lock_guard<std::mutex> guard(self->lock_);
        answer->ran = ran;
        answer->done = true;
        self->answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> guard(lock_);
  answered_.wait(guard, [&] { return answer->done || closed_; });
  return answer->ran;
}

void Handback::close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
  }
  answered_.notify_all();
}

bool Handback::open() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !closed_ && context_;
}

BackgroundWorker::BackgroundWorker(QObject *parent) : QObject(parent), thread_([this] { loop(); }) {}

BackgroundWorker::~BackgroundWorker() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  // Results still on their way are queued to this object and go with it.
}

void BackgroundWorker::run(std::shared_ptr<Handback> back, std::function<void()> job, std::function<void()> done) {
  ++pending_;
  {
    std::lock_guard<std::mutex> guard(lock_);
    jobs_.push_back([this, back, job = std::move(job), done = std::move(done)]() mutable {
      if (job) job();
      job = nullptr;  // the job's captures die on this thread, before its result is seen
      // `done` moves on to the owner's thread: its captures die there, whatever happens.
      QMetaObject::invokeMethod(
          this,
          [this, back, done = std::move(done)] {
            --pending_;
            if (back->open() && done) done();
          },
          Qt::QueuedConnection);
    });
  }
  wake_.notify_one();
}

void BackgroundWorker::loop() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    wake_.wait(guard, [this] { return stop_ || !jobs_.empty(); });
    if (stop_) {
      // Jobs not yet started are dropped here, on this thread.
      std::deque<std::function<void()>> dropped;
      dropped.swap(jobs_);
      guard.unlock();
      dropped.clear();
      return;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    guard.unlock();
    job();
    job = nullptr;
    guard.lock();
  }
}

}  // namespace kalvort::app
