#include "support/StatusPoller.h"

#include <QEventLoop>
#include <QTimer>

namespace kalvort::app {

void StatusPoller::WaitIdleProcessingEvents() {
  if (!worker_.Busy()) return;
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (!worker_.Busy()) loop.quit();
  });
  check.start(5);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  worker_.WaitIdle();
}

}  // namespace kalvort::app
