// How long the window's thread is blocked: the longest single event dispatch while the status
// poll runs 40 ticks, (a) with the virtual programmer and (b) with a controller that does not
// answer; and (c) the time from main() to the first painted main window. For comparison the same
// ticks are run with the poll done on the window's thread (what a poll without a worker costs).
//
// Usage: bench_gui_status_poll [TICKS]   (default 40; QT_QPA_PLATFORM=offscreen or a display)

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "EventLoopWatch.h"
#include "sim/UrvellSimulator.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"
#include "workflow/DeviceSession.h"

namespace {

QElapsedTimer g_since_main;

using kalvort::bench::TimingApplication;

void SpinUntil(const std::function<bool()> &done, int timeout_ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < timeout_ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Lets the window's own timer tick `ticks` times; returns the longest dispatch in ms.
double LongestBlockOverTicks(TimingApplication &app, MainWindow &window, int ticks) {
  int seen = 0;
  QTimer *timer = window.findChild<QTimer *>(QStringLiteral("StatusTimer"));
  auto connection = QObject::connect(timer, &QTimer::timeout, [&] { ++seen; });
  app.startWatch();
  SpinUntil([&] { return seen >= ticks; }, ticks * 250 * 4 + 5000);
  QObject::disconnect(connection);
  return app.longestMs();
}

// The same ticks with the poll called on the window's thread itself.
double LongestBlockOnThread(TimingApplication &app, kalvort::workflow::DeviceSession &session, int ticks) {
  QTimer timer;
  timer.setInterval(250);
  int seen = 0;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    session.Poll();
    ++seen;
  });
  app.startWatch();
  timer.start();
  SpinUntil([&] { return seen >= ticks; }, ticks * 1000 + 5000);
  return app.longestMs();
}

bool PickController(MainWindow &window, const std::string &address) {
  window.setNetworkDevices({{address, u"Стенд"}});
  window.findChild<QComboBox *>(QStringLiteral("DeviceSelector"))->setCurrentIndex(1);
  window.DeviceSelectorChanged();
  SpinUntil([&] { return window.deviceController().hasDevice() &&
                         !window.deviceController().creationPending(); }, 10000);
  return window.deviceController().hasDevice() && !window.deviceController().session()->Target().usb;
}

}  // namespace

int main(int argc, char **argv) {
  g_since_main.start();
  qputenv("KALVORT_LOOPBACK_ONLY", "1");
  QTemporaryDir root;
  qputenv("KALVORT_CONFIG", (root.path() + "/kalvort.ini").toUtf8());
  qputenv("KALVORT_VIRTUAL_MODULE", (root.path() + "/module.bin").toUtf8());
  if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) qputenv("XDG_RUNTIME_DIR", root.path().toUtf8());
  TimingApplication app(argc, argv);
  const int ticks = argc > 1 ? std::max(1, atoi(argv[1])) : 40;

  ScriptedDialogs dialogs;
  MainWindow window(dialogs);
  qint64 first_paint_ms = -1;
  QObject::connect(&window, &MainWindow::firstPainted, [&] { first_paint_ms = g_since_main.elapsed(); });
  window.show();
  SpinUntil([&] { return first_paint_ms >= 0; }, 10000);
  std::printf("(c) start to first painted window: %lld ms\n", static_cast<long long>(first_paint_ms));

  SpinUntil([&] { return window.deviceController().hasDevice(); }, 10000);
  std::printf("(a) virtual programmer, %d ticks: longest block %.2f ms (poll on the window's thread: %.2f ms)\n",
              ticks, LongestBlockOverTicks(app, window, ticks),
              LongestBlockOnThread(app, *window.deviceController().session(), std::min(ticks, 10)));

  // A controller that takes every request and answers none.
  kalvort::sim::UrvellConfig config;
  config.address = "127.0.88.1";
  config.faults.drop_percent = 100;
  kalvort::sim::UrvellSimulator silent(config, std::make_shared<kalvort::sim::ModuleMemory>(1), nullptr);
  std::string error;
  if (!silent.Start(&error)) {
    std::fprintf(stderr, "simulator: %s\n", error.c_str());
    return 1;
  }
  app.startWatch();
  if (!PickController(window, config.address)) {
    std::fprintf(stderr, "no controller device object\n");
    return 1;
  }
  const double pick_ms = app.longestMs();
  std::printf("(b) silent controller, %d ticks: longest block %.2f ms (picking it: %.2f ms; poll on the window's "
              "thread: %.2f ms)\n",
              ticks, LongestBlockOverTicks(app, window, ticks), pick_ms,
              LongestBlockOnThread(app, *window.deviceController().session(), std::min(ticks, 4)));
  std::printf("    status: %s\n", qPrintable(window.statusLine().panelText(StatusLine::Device)));
  window.close();
  return 0;
}
