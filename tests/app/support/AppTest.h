#pragma once
// Shared set-up of the desktop program's tests: each test program runs with its own temporary
// configuration, data, state and runtime folders, a virtual module file of its own, the offscreen
// platform and loopback-only networking.

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include "support/GuardedApplication.h"

#include <cstdint>
#include <functional>
#include <optional>

class MainWindow;
class QAction;
class QComboBox;
class QWidget;

namespace kalvort::apptest {

// Points every XDG folder, KALVORT_CONFIG and KALVORT_VIRTUAL_MODULE into `root`.
void UseTemporaryFolders(const QString &root);
// The settings file the window reads and writes under the temporary folders.
QString SettingsFile();

// Closes a modal dialog that has stayed open for `seconds` and fails the running test: a test whose
// script missed its dialog ends at once instead of hanging until the test program's time-out.
void WatchModalDialogs(int seconds = 20);

// Spins the event loop until `done` is true or `timeoutMs` passed; returns `done()`.
bool WaitFor(const std::function<bool()> &done, int timeoutMs = 5000);
// Waits until the window has a device object and one status poll has been applied after that.
bool WaitForDeviceStatus(MainWindow &window, int timeoutMs = 5000);
// The next applied status poll.
bool WaitForNextStatus(MainWindow &window, int timeoutMs = 5000);

// Waits until the window's file work (open, save, check) has ended and its outcome was taken.
bool WaitForFileWork(MainWindow &window, int timeoutMs = 10000);
// Runs a command that reports its end through the callback it is given; waits for the end and
// returns what it reported (false after 10 s without an end).
bool WaitForOutcome(const std::function<void(std::function<void(bool)>)> &command);
// "Сохранить проект" through the project commands, and opening `file` as a hand-over does: each
// waited for; true when the project was saved, or the file opened.
bool SaveAs(MainWindow &window);
bool OpenFile(MainWindow &window, const QString &file);

// Adds a program to the window's catalog: a valid binary of `size` bytes, processed or not.
void AddProgram(MainWindow &window, uint32_t size, bool need_p_proc = false);

// The window's action of that object name (e.g. "EditorOkAction"); fails the test when there is none.
// Tests run commands through it as the menus and tool bars do, whichever part owns the action.
QAction *ActionNamed(QWidget &window, const char *name);

// The window's device selector (by its object name).
QComboBox *DeviceSelectorOf(QWidget &window);

// Sets (or with nullptr unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  QByteArray name_;
  std::optional<QByteArray> old_;
};

}  // namespace kalvort::apptest

// main() of a GUI test program: temporary folders first, then the application and the tests.
#define KALVORT_APP_TEST_MAIN(TestClass)                                  \
  int main(int argc, char **argv) {                                       \
    QTemporaryDir kalvortTestRoot;                                        \
    kalvort::apptest::UseTemporaryFolders(kalvortTestRoot.path());        \
    qputenv("QT_QPA_PLATFORM", "offscreen");                              \
    qputenv("KALVORT_LOOPBACK_ONLY", "1");                                \
    kalvort::app::GuardedApplication app(argc, argv);                     \
    kalvort::apptest::WatchModalDialogs();                                \
    TestClass test;                                                       \
    return QTest::qExec(&test, argc, argv);                               \
  }
