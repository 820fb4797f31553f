#include "support/GuardedApplication.h"

#include <new>

namespace kalvort::app {

bool GuardedApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::bad_alloc &) {
    emit outOfMemory();
    return false;
  }
}

}  // namespace kalvort::app
