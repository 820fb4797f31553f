#pragma once
// What the desktop benchmarks measure on the window's thread: the longest time one event kept the
// event loop from running, and a wait that runs the event loop as the program does.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace kalvort::bench {

// Times every event the window's thread delivers, less the events delivered inside it (a nested
// event loop keeps the window alive): the longest such time is the longest the window could not
// repaint or react.
class TimingApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject *receiver, QEvent *event) override {
    const qint64 start = clock_.nsecsElapsed();
    const qint64 nested_before = nested_;
    ++depth_;
    const bool result = QApplication::notify(receiver, event);
    --depth_;
    const qint64 total = clock_.nsecsElapsed() - start;
    const qint64 own = total - (nested_ - nested_before);
    longest_ = std::max(longest_, own);
    // The caller sees this delivery as one nested stretch, whatever it delivered inside.
    nested_ = nested_before + total;
    return result;
  }
  void startWatch() {
    clock_.start();
    longest_ = 0;
  }
  double longestMs() const { return static_cast<double>(longest_) / 1e6; }

 private:
  QElapsedTimer clock_;
  int depth_ = 0;
  qint64 nested_ = 0;
  qint64 longest_ = 0;
};

// Runs the event loop (waiting for events, as the program does) until `done`.
inline void waitUntil(const std::function<bool()> &done) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  check.start(5);
  if (!done()) loop.exec();
}

}  // namespace kalvort::bench
