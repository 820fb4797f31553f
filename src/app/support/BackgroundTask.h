#pragma once
// BackgroundTask: runs one blocking call of the core (a device chain, a network probe) on a
// thread of its own, so that the window's thread keeps painting and answering clicks, and hands
// everything that must touch widgets back to the owner's thread:
//   - post():  fire and forget (progress, status text);
//   - call():  run on the owner's thread and wait for it (a question the chain needs answered).
// When the work returns, `done` runs on the owner's thread; it may start the next work but must
// not destroy this object (defer that). One work at a time per object.
//
// The destructor waits for a running work to return; calls the work makes while the object is
// going away are dropped (call() then returns false), so the owner never waits on a worker that
// waits on the owner. Cancel the work first (the core's Cancel) to keep that wait short.

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kalvort::app {

class BackgroundTask : public QObject {
  Q_OBJECT
 public:
  explicit BackgroundTask(QObject *parent = nullptr);
  ~BackgroundTask() override;

  // Owner's thread. False when a work is still running.
  bool start(std::function<void()> work, std::function<void()> done = {});
  // Owner's thread: true from start() until `done` has run.
  bool busy() const { return busy_; }
  // Any thread: true while the work function itself runs.
  bool working() const { return working_.load(); }
  // Owner's thread: waits for the running work (if any) to return and its `done` to run, with the
  // event loop kept running so that the work's post()/call() are served meanwhile.
  void waitIdle();

  // Owner's thread: from now on call() returns false at once (the owner is going away and will
  // not serve it).
  void abandonCalls();

  // Work's thread.
  void post(std::function<void()> f);
  bool call(const std::function<void()> &f);

 signals:
  // After `done`, on the owner's thread.
  void finished();

 private:
  void joinThread();

  std::thread thread_;
  bool busy_ = false;
  std::atomic<bool> working_{false};
  std::mutex lock_;
  std::condition_variable answered_;
  bool closing_ = false;  // guarded by lock_
};

}  // namespace kalvort::app
