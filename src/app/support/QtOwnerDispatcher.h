#pragma once
// Delivers the core's owner-thread work (hot-plug events of the USB programmer) on the window's
// thread, the thread that owns the device objects. The work goes through a gate there, which runs
// it at once or later (the window holds it back while a status poll is in flight, so that a
// hot-plug event never touches the device while the poll does); the gate never waits.

#include <QObject>
#include <QPointer>

#include <functional>

#include "transport/OwnerDispatch.h"

namespace kalvort::app {

class QtOwnerDispatcher final : public TOwnerDispatcher {
 public:
  using Gate = std::function<void(std::function<void()> work)>;
  QtOwnerDispatcher(QObject *receiver, Gate gate)
      : receiver_(receiver), gate_(std::move(gate)) {}

  void Post(std::function<void()> work) override {
    // Called from any thread; the receiver's thread runs the work, unless the receiver is gone.
    QMetaObject::invokeMethod(
        receiver_.data(),
        [gate = gate_, work = std::move(work)]() mutable {
          if (gate)
            gate(std::move(work));
          else
            work();
        },
        Qt::QueuedConnection);
  }

 private:
  QPointer<QObject> receiver_;
  Gate gate_;
};

}  // namespace kalvort::app
