#pragma once
// Runs device work (a status poll, the creation of a device object) on one background thread, one
// job at a time, and hands each result back to the window's thread with a queued call. A job
// offered while another runs is refused, so a slow device makes the poll skip ticks instead of
// piling them up.

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "base/SingleJobWorker.h"

namespace kalvort::app {

class StatusPoller {
 public:
  // `receiver`: results are delivered on its thread, and dropped if it is gone by then.
  explicit StatusPoller(QObject *receiver) : receiver_(receiver) {}

  // Runs `job` off the window's thread and then `done(result)` on the receiver's thread. False
  // (nothing runs) while another job is in flight.
  template <class Result>
  bool TryRun(std::function<Result()> job, std::function<void(Result &)> done) {
    QObject *receiver = receiver_;
    return worker_.TryRun([job = std::move(job), done = std::move(done), receiver]() mutable {
      auto result = std::make_shared<Result>(job());
      QMetaObject::invokeMethod(receiver, [done, result] { done(*result); }, Qt::QueuedConnection);
    });
  }
  bool Busy() const { return worker_.Busy(); }
  // Blocks the calling thread until no job runs.
  void WaitIdle() { worker_.WaitIdle(); }
  // Waits for a job in flight while the window keeps painting (user input is held back).
  void WaitIdleProcessingEvents();

 private:
  QObject *receiver_;
  SingleJobWorker worker_;
};

}  // namespace kalvort::app
