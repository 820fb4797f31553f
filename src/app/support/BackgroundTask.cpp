#include "support/BackgroundTask.h"

#include <QEventLoop>
#include <QMetaObject>
#include <memory>

namespace kalvort::app {

BackgroundTask::BackgroundTask(QObject *parent) : QObject(parent) {}

BackgroundTask::~BackgroundTask() {
  abandonCalls();
  joinThread();
}

void BackgroundTask::abandonCalls() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closing_ = true;
  }
  answered_.notify_all();
}

void BackgroundTask::joinThread() {
  if (thread_.joinable()) thread_.join();
}

bool BackgroundTask::start(std::function<void()> work, std::function<void()> done) {
  if (busy_) return false;
  joinThread();  // the previous work has returned: its `done` ran
  busy_ = true;
  working_ = true;
  thread_ = std::thread([this, work = std::move(work), done = std::move(done)]() mutable {
    work();
    working_ = false;
    // Queued to the owner's thread; dropped with this object when it is being destroyed.
    QMetaObject::invokeMethod(
        this,
        [this, done = std::move(done)] {
          joinThread();
          busy_ = false;
          if (done) done();
          emit finished();
        },
        Qt::QueuedConnection);
  });
  return true;
}

void BackgroundTask::waitIdle() {
  if (!busy_) return;
  QEventLoop loop;
  // `done` may have started the next work: wait for that one as well.
  connect(this, &BackgroundTask::finished, &loop, [this, &loop] {
    if (!busy_) loop.quit();
  });
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void BackgroundTask::post(std::function<void()> f) {
  QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

bool BackgroundTask::call(const std::function<void()> &f) {
  struct Pending {
    bool done = false;
  };
  auto pending = std::make_shared<Pending>();
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closing_) return false;
  }
  QMetaObject::invokeMethod(
      this,
      [this, f, pending] {
        f();
        std::lock_guard<std::mutex> guard(lock_);
        pending->done = true;
        answered_.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> guard(lock_);
  answered_.wait(guard, [&] { return pending->done || closing_; });
  return pending->done;
}

}  // namespace kalvort::app
