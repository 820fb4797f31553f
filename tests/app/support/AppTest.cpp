#include "support/AppTest.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

#include <memory>
#include <optional>
#include <utility>

#include "window/DeviceController.h"
#include "window/FileWork.h"
#include "window/MainWindow.h"
#include "window/ProjectCommands.h"
#include "workflow/DeviceSession.h"

namespace kalvort::apptest {

void UseTemporaryFolders(const QString &root) {
  for (const char *sub : {"config", "data", "state", "cache", "runtime"}) QDir(root).mkpath(QString::fromLatin1(sub));
  QFile::setPermissions(root + QStringLiteral("/runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
  qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
  qputenv("XDG_STATE_HOME", (root + QStringLiteral("/state")).toUtf8());
  qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
  qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toUtf8());
  qputenv("KALVORT_CONFIG", (root + QStringLiteral("/config/kalvort.ini")).toUtf8());
  qputenv("KALVORT_VIRTUAL_MODULE", (root + QStringLiteral("/data/virtual-module.bin")).toUtf8());
  qunsetenv("KALVORT_USB_DRIVER");
  qunsetenv("KALVORT_VIRTUAL_KIND");
  qunsetenv("KALVORT_VIRTUAL_FIRMWARE");
}

QString SettingsFile() { return qEnvironmentVariable("KALVORT_CONFIG"); }

QComboBox *DeviceSelectorOf(QWidget &window) {
  auto *selector = window.findChild<QComboBox *>(QStringLiteral("DeviceSelector"));
  if (!selector) qFatal("no device selector");
  return selector;
}

QAction *ActionNamed(QWidget &window, const char *name) {
  QAction *action = window.findChild<QAction *>(QString::fromLatin1(name));
  if (!action) qFatal("no action named %s", name);
  return action;
}

void WatchModalDialogs(int seconds) {
  struct Seen {
    QPointer<QWidget> modal;
    QElapsedTimer since;
  };
  auto seen = std::make_shared<Seen>();
  auto *timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, [seen, seconds] {
    QWidget *modal = QApplication::activeModalWidget();
    if (modal != seen->modal) {
      seen->modal = modal;
      seen->since.start();
      return;
    }
    if (!modal || seen->since.elapsed() < seconds * 1000) return;
    seen->modal = nullptr;
    const QByteArray name = modal->metaObject()->className();
    if (auto *dialog = qobject_cast<QDialog *>(modal)) dialog->reject();
    else modal->close();
    QTest::qFail(("a modal " + name + " was left open; closed by the test watchdog").constData(), __FILE__, __LINE__);
  });
  timer->start(250);
}

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

bool WaitForNextStatus(MainWindow &window, int timeoutMs) {
  QSignalSpy spy(&window, &MainWindow::statusApplied);
  return spy.wait(timeoutMs);
}

bool WaitForDeviceStatus(MainWindow &window, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  if (!WaitFor([&] { return window.deviceController().hasDevice(); }, timeoutMs)) return false;
  return WaitForNextStatus(window, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
}

bool WaitForFileWork(MainWindow &window, int timeoutMs) {
  return WaitFor([&] { return !window.fileWork().running(); }, timeoutMs);
}

bool WaitForOutcome(const std::function<void(std::function<void(bool)>)> &command) {
  auto outcome = std::make_shared<std::optional<bool>>();
  command([outcome](bool ok) { *outcome = ok; });
  return WaitFor([&] { return outcome->has_value(); }, 10000) && **outcome;
}

bool SaveAs(MainWindow &window) {
  return WaitForOutcome([&](ProjectCommands::Then then) { window.projectCommands().saveAs(std::move(then)); });
}

bool OpenFile(MainWindow &window, const QString &file) {
  return WaitForOutcome([&](ProjectCommands::Then then) { window.projectCommands().openFile(file, std::move(then)); });
}

void AddProgram(MainWindow &window, uint32_t size, bool need_p_proc) {
  kalvort::TDevCatalogEntry entry;
  entry.cat_num = -1;
  entry.prog_num = 1;
  entry.prog_size = size;
  entry.p_buffer = std::make_shared<kalvort::ProgramImage>(size, uint8_t{0x41});
  entry.file_bin_valid = true;
  entry.need_p_proc = need_p_proc;
  QVERIFY(window.deviceController().hasDevice());
  QVERIFY(window.projectDocument().programs().AddCatalogEntry(entry));
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name) {
  if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
  if (value) qputenv(name, value);
  else qunsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_) qputenv(name_.constData(), *old_);
  else qunsetenv(name_.constData());
}

}  // namespace kalvort::apptest
