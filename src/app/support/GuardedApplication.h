#pragma once
// The application object of the desktop program: an event handler that runs out of memory ends
// that handler's work, not the program. The event is dropped and outOfMemory() tells the window,
// which says so; what the handler had not changed yet stays as it was.

#include <QApplication>

namespace kalvort::app {

class GuardedApplication : public QApplication {
  Q_OBJECT

 public:
  GuardedApplication(int &argc, char **argv) : QApplication(argc, argv) {}
  bool notify(QObject *receiver, QEvent *event) override;

 signals:
  void outOfMemory();
};

}  // namespace kalvort::app
