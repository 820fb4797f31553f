#pragma once
// Delivers the core's owner-thread work (hot-plug events of the USB programmer) on the window's
// thread. Before each delivery a gate runs: the window waits there for a status poll in flight,
// so a hot-plug event never touches the device while the poll does.

#include <QObject>
#include <QPointer>

#include <functional>

#include "transport/OwnerDispatch.h"

namespace kalvort::app {

class QtOwnerDispatcher final : public TOwnerDispatcher {
 public:
  QtOwnerDispatcher(QObject *receiver, std::function<void()> gate)
      : receiver_(receiver), gate_(std::move(gate)) {}

  void Post(std::function<void()> work) override {
    // Called from any thread; the receiver's thread runs the work, unless the receiver is gone.
    QMetaObject::invokeMethod(
        receiver_.data(),
        [gate = gate_, work = std::move(work)] {
          if (gate) gate();
          work();
        },
        Qt::QueuedConnection);
  }

 private:
  QPointer<QObject> receiver_;
  std::function<void()> gate_;
};

}  // namespace kalvort::app
