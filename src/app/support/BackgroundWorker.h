#pragma once
// BackgroundWorker: the desktop program's one way of working off the window's thread. It owns a
// single long-lived thread that runs jobs one after another, in the order they were given (a
// status poll, the creation of a device object, a device command's chain, a network probe), and
// hands every result back to the owner's thread with a queued call. Because the jobs never
// overlap, a job given after another may use what the earlier one used without waiting for it:
// a device command queued behind a status poll in flight starts when the poll has returned.
//
// Results go to a context object: when it is gone by then, the result is dropped. Nothing of the
// owner's side waits for the worker except the destructor, which lets the running job return and
// drops the jobs not yet started (cancel the running one first to keep that short).

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kalvort::app {

class BackgroundWorker;

// The way back from one job (or one run of jobs) to a context object on the owner's thread. Made
// on the owner's thread, used from the worker's; close() cuts it off from the owner's side.
class Handback : public std::enable_shared_from_this<Handback> {
 public:
  Handback(BackgroundWorker &owner, QObject *context) : owner_(owner), context_(context) {}

  // Any thread: runs `f` on the owner's thread, unless the context is gone or closed by then.
  void post(std::function<void()> f);
  // Worker's thread: runs `f` on the owner's thread and waits for it. False when `f` did not run
  // (the hand-back was closed or its context went meanwhile).
  bool call(const std::function<void()> &f);
  // Owner's thread: nothing more reaches the context; a call() waiting returns false.
  void close();
  // Owner's thread: the context is still there and the hand-back open.
  bool open() const;

 private:
  BackgroundWorker &owner_;
  QPointer<QObject> context_;  // read on the owner's thread only
  mutable std::mutex lock_;
  std::condition_variable answered_;
  bool closed_ = false;  // guarded by lock_
};

class BackgroundWorker : public QObject {
  Q_OBJECT
 public:
  explicit BackgroundWorker(QObject *parent = nullptr);
  ~BackgroundWorker() override;

  // Owner's thread. Runs `job` on the worker after the jobs given before, then `done(result)` on
  // the owner's thread if `context` is still there.
  template <class Result>
  void run(QObject *context, std::function<Result()> job, std::function<void(Result &)> done) {
    auto result = std::make_shared<Result>();
    run(
        context, [job = std::move(job), result] { *result = job(); },
        [done = std::move(done), result] {
          if (done) done(*result);
        });
  }
  void run(QObject *context, std::function<void()> job, std::function<void()> done = {}) {
    run(handback(context), std::move(job), std::move(done));
  }
  // As above, the result going the way of `back` (dropped once it is closed).
  void run(std::shared_ptr<Handback> back, std::function<void()> job, std::function<void()> done = {});
  // Owner's thread: `done` runs once every job given so far has returned (at once, through the
  // event loop, when none is waiting).
  void afterPending(QObject *context, std::function<void()> done) { run(context, {}, std::move(done)); }
  // Owner's thread: a way back for a job that reports while it runs (progress, questions).
  std::shared_ptr<Handback> handback(QObject *context) { return std::make_shared<Handback>(*this, context); }
  // Owner's thread: jobs given whose `done` has not been reached yet.
  int pending() const { return pending_; }

 private:
  void loop();

  int pending_ = 0;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;  // guarded by lock_
  bool stop_ = false;                       // guarded by lock_
  std::thread thread_;
};

}  // namespace kalvort::app
