// Closing the window (the project question, the order of the shutdown steps) and the settings
// file read at start and written at exit.

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QScreen>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

#include "base/Log.h"
#include "project/Settings.h"
#include "support/AppLog.h"
#include "support/AppTest.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "window/ProjectCommands.h"
#include "workflow/DeviceSession.h"

using kalvort::apptest::ScopedEnv;
using kalvort::apptest::SettingsFile;
using kalvort::apptest::WaitFor;
using kalvort::apptest::WaitForDeviceStatus;

namespace {

kalvort::KalvortSettings ReadSettings() {
  kalvort::KalvortSettings s;
  std::string error;
  if (!kalvort::OpenSettings(SettingsFile().toStdString(), s, &error)) qWarning("%s", error.c_str());
  return s;
}

}  // namespace

class LifecycleTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QFile::remove(SettingsFile()); }

  // The log never writes through a link placed where the log file would be.
  void logFileIsNeverALink() {
    QTemporaryDir state;
    QVERIFY(QDir().mkpath(state.filePath(QStringLiteral("kalvort"))));
    const QString target = state.filePath(QStringLiteral("elsewhere.txt"));
    QFile file(target);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("kept\n");
    file.close();
    QVERIFY(QFile::link(target, state.filePath(QStringLiteral("kalvort/kalvort.log"))));
    ScopedEnv env("XDG_STATE_HOME", qPrintable(state.path()));
    kalvort::app::CloseAppLog();
    kalvort::app::OpenAppLog();
    kalvort::LogMessage(kalvort::LogLevel::Warning, "a warning for the log");
    kalvort::app::CloseAppLog();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("kept\n"));
  }

  void closeQuestion_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Yes, save dialog cancelled") << int(QMessageBox::Yes) << false;
    QTest::newRow("No") << int(QMessageBox::No) << true;
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << false;
  }
  void closeQuestion() {
    QFETCH(int, answer);
    QFETCH(bool, closes);
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    QVERIFY(WaitForDeviceStatus(window));
    window.projectDocument().setChanged(true);
    dialogs.answers = {static_cast<QMessageBox::StandardButton>(answer)};
    dialogs.files = {QString()};
    const bool closed = window.close();
    QCOMPARE(closed, closes);
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Проект не сохранен"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Сохранить проект?"));
    QCOMPARE(dialogs.asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(dialogs.asked[0].defaultButton, QMessageBox::Cancel);
    QCOMPARE(window.isVisible(), !closes);
    // Cancel leaves the device and the poll as they were; a close ends both and writes settings.
    QCOMPARE(window.deviceController().hasDevice(), !closes);
    QCOMPARE(window.deviceController().polling(), !closes);
    QCOMPARE(QFile::exists(SettingsFile()), closes);
    if (!closes) QVERIFY(kalvort::apptest::WaitForNextStatus(window));
  }

  void unchangedProjectClosesWithoutQuestionAndWritesSettings() {
    kalvort::KalvortSettings stored;
    stored.CurDeviceNum = 2;  // a network device was in use last time
    stored.NetDevices = {{"127.0.0.251", u"A"}};
    stored.options.timeout_factor = 2;
    stored.options.vz20_format = true;
    QVERIFY(kalvort::SaveSettings(SettingsFile().toStdString(), stored));

    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    QCOMPARE(window.projectDocument().options().timeout_factor, 2);
    QVERIFY(window.projectDocument().options().vz20_format);
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(window)->count(), 3);
    QVERIFY(WaitForDeviceStatus(window));
    // The program always starts with the USB programmer.
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(window)->currentIndex(), 0);
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtProg);
    // A second network device, as "Настройка сети устройств" adds one; then device A is picked.
    window.setNetworkDevices({{"127.0.0.251", u"A"}, {"127.0.0.252", u"B"}});
    kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(1);
    window.DeviceSelectorChanged();
    QVERIFY(WaitFor([&] { return window.deviceController().hasDevice() &&
                                 !window.deviceController().creationPending(); }));
    window.resize(900, 700);
    window.projectDocument().options().drop_spaces = false;
    QVERIFY(window.close());
    QVERIFY(dialogs.asked.isEmpty());

    const kalvort::KalvortSettings s = ReadSettings();
    QCOMPARE(s.CurDeviceNum, 1);
    QCOMPARE(s.Width, window.width());
    QCOMPARE(s.Height, window.height());
    QCOMPARE(s.options.timeout_factor, 2);
    QVERIFY(s.options.vz20_format);
    QVERIFY(!s.options.drop_spaces);
    QCOMPARE(s.NetDevices.size(), size_t{2});
    QCOMPARE(s.NetDevices[1].ip, std::string("127.0.0.252"));
  }

  void noSettingsFileGivesDefaults() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QCOMPARE(window.size(),
             MainWindow::DefaultWindowSize(QGuiApplication::primaryScreen()->availableGeometry().size()));
    QVERIFY(window.projectDocument().options().processing.enabled);
    QCOMPARE(window.projectDocument().options().processing.project_type, 0);
    QCOMPARE(window.projectDocument().options().timeout_factor, 3);
    QVERIFY(window.networkDevices().empty());
  }

  // A settings file that exists but cannot be read (here: larger than any settings file may be)
  // is left as it is at exit.
  void unreadableSettingsFileIsNotOverwritten() {
    QFile file(SettingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Device]\nTimeout=5\n");
    QVERIFY(file.resize(qint64{65} << 20));  // sparse: costs no disk
    file.close();
    const QDateTime written = QFileInfo(file).lastModified();
    {
      ScriptedDialogs dialogs;
      MainWindow window(dialogs);
      window.show();
      QVERIFY(!window.SettingsReadable());
      QCOMPARE(window.projectDocument().options().timeout_factor, 3);
      window.projectDocument().options().timeout_factor = 1;
      QVERIFY(window.close());
    }
    QCOMPARE(QFileInfo(file).size(), qint64{65} << 20);
    QCOMPARE(QFileInfo(file).lastModified(), written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(19), QByteArray("[Device]\nTimeout=5\n"));
  }

  // A FIFO as the settings file or as a project is refused at once: the window starts with the
  // defaults and the open says the file cannot be opened, nothing waits for a writer.
  void specialFilesNeverBlock() {
    QVERIFY(::mkfifo(QFile::encodeName(SettingsFile()).constData(), 0600) == 0);
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("p.kvt"));
    QVERIFY(::mkfifo(QFile::encodeName(project).constData(), 0600) == 0);
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(!window.SettingsReadable());
    QCOMPARE(window.projectDocument().options().timeout_factor, 3);
    QVERIFY(!kalvort::apptest::OpenFile(window, project));
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Ошибка открытия файла."));
    QCOMPARE(window.projectDocument().fileName(), QStringLiteral("Проект.kvt"));
    QFile::remove(SettingsFile());
  }
};

KALVORT_APP_TEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
