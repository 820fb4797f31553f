// Where the file dialogs start: the project's folder, else the last folder a file was chosen in
// (kept in the settings file), else the home folder; never the program's working directory.

#include <QDir>
#include <QTemporaryDir>

#include "project/Settings.h"
#include "support/AppTest.h"
#include "support/ScriptedDialogs.h"
#include "widgets/QtText.h"
#include "window/MainWindow.h"

using namespace kalvort;

class FileDialogFolderTest : public QObject {
  Q_OBJECT

  QTemporaryDir workDir, lastDir, projectDir;

  // The folder the next "Открыть проект" dialog starts in (the dialog is cancelled).
  static QString openDialogStart(MainWindow &window, ScriptedDialogs &dialogs) {
    apptest::ActionNamed(window, "ProjectOpenAction")->trigger();
    return dialogs.fileDirs.value(dialogs.fileDirs.size() - 1);
  }

 private slots:
  void initTestCase() {
    // The working directory is not the home folder, so a dialog left to start there shows.
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY(QDir::currentPath() != QDir::homePath());
  }

  void homeFolderWithoutProjectOrLastFolder() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(apptest::WaitForDeviceStatus(window));
    QCOMPARE(openDialogStart(window, dialogs), QDir::homePath());
    // A proposed name is put in that folder, not in the working directory.
    apptest::ActionNamed(window, "ProjectSaveAction")->trigger();
    QCOMPARE(dialogs.fileDirs.last(), QDir(QDir::homePath()).filePath(QStringLiteral("Проект.kvt")));
    QVERIFY(window.close());
  }

  void lastFolderUsedIsKeptInTheSettingsFile() {
    {
      ScriptedDialogs dialogs;
      MainWindow window(dialogs);
      QVERIFY(apptest::WaitForDeviceStatus(window));
      dialogs.files = {lastDir.filePath(QStringLiteral("список.txt"))};
      kalvort::apptest::ActionNamed(window, "SaveCatAsTxtAction")->trigger();
      QVERIFY(QFileInfo::exists(lastDir.filePath(QStringLiteral("список.txt"))));
      QCOMPARE(openDialogStart(window, dialogs), lastDir.path());
      QVERIFY(window.close());
    }
    KalvortSettings s;
    QVERIFY(OpenSettings(toPath(apptest::SettingsFile()), s));
    QCOMPARE(fromU16(s.LastDir), lastDir.path());
    // The next start begins where the last file was chosen.
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(apptest::WaitForDeviceStatus(window));
    QCOMPARE(openDialogStart(window, dialogs), lastDir.path());
    QVERIFY(window.close());
  }

  void projectFolderComesFirst() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(apptest::WaitForDeviceStatus(window));
    const QString project = projectDir.filePath(QStringLiteral("цех.kvt"));
    dialogs.files = {project};
    apptest::ActionNamed(window, "ProjectSaveAction")->trigger();
    QVERIFY(apptest::WaitForFileWork(window));
    QCOMPARE(window.projectDocument().fileName(), project);
    // A file chosen elsewhere later makes that the last folder, but the project's folder wins.
    dialogs.files = {lastDir.filePath(QStringLiteral("список.txt"))};
    dialogs.answers = {QMessageBox::Ok};  // overwrite
    kalvort::apptest::ActionNamed(window, "SaveCatAsTxtAction")->trigger();
    QCOMPARE(openDialogStart(window, dialogs), projectDir.path());
    QVERIFY(window.close());
  }
};

KALVORT_APP_TEST_MAIN(FileDialogFolderTest)
#include "FileDialogFolderTest.moc"
