#pragma once
// What the desktop benchmarks measure on the window's thread: the longest time one event kept the
// event loop from running, and a wait that runs the event loop as the program does; and the
// surroundings they run the window in.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
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

// The window's surroundings for a benchmark: its settings, data and runtime folders under `root`
// (a temporary folder), the virtual programmer's module there too, loopback networking only, the
// offscreen platform. Called before the application object is made.
inline void UseTemporaryFolders(const QString &root) {
  for (const char *sub : {"config", "data", "runtime"}) QDir(root).mkpath(QString::fromLatin1(sub));
  QFile::setPermissions(root + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
  qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
  qputenv("XDG_RUNTIME_DIR", (root + "/runtime").toUtf8());
  qputenv("KALVORT_CONFIG", (root + "/config/kalvort.ini").toUtf8());
  qputenv("KALVORT_VIRTUAL_MODULE", (root + "/data/module.bin").toUtf8());
  qputenv("KALVORT_LOOPBACK_ONLY", "1");
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qunsetenv("KALVORT_USB_DRIVER");
  qunsetenv("KALVORT_VIRTUAL_KIND");
}

}  // namespace kalvort::bench
