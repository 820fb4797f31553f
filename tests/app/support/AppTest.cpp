#include "support/AppTest.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include "window/MainWindow.h"
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

bool WaitFor(const std::function<bool()> &done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

bool WaitForNextStatus(TKLV_main_form &window, int timeoutMs) {
  QSignalSpy spy(&window, &TKLV_main_form::statusApplied);
  return spy.wait(timeoutMs);
}

bool WaitForDeviceStatus(TKLV_main_form &window, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  if (!WaitFor([&] { return window.MemDevice != nullptr; }, timeoutMs)) return false;
  return WaitForNextStatus(window, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
}

void AddProgram(TKLV_main_form &window, uint32_t size, bool need_p_proc) {
  kalvort::TDevCatalogEntry entry;
  entry.cat_num = -1;
  entry.prog_num = 1;
  entry.prog_size = size;
  entry.p_buffer = std::make_shared<kalvort::ProgramImage>(size, uint8_t{0x41});
  entry.file_bin_valid = true;
  entry.need_p_proc = need_p_proc;
  QVERIFY(window.MemDevice);
  QVERIFY(window.MemDevice->Device().AddCatalogEntry(entry));
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
