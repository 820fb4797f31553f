// The main window at start: caption, actions, status line, the first status ticks.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>

#include "project/ProjectFile.h"
#include "support/AppTest.h"
#include "workflow/DeviceSession.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"

using kalvort::apptest::WaitForDeviceStatus;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithEmptyProjectAndTheUsbProgrammer() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QCOMPARE(window.windowTitle(), QStringLiteral("Калворт v1.1.7 - Проект.kvt"));
    QVERIFY(window.awaitingFirstStatus());
    QVERIFY(!window.deviceController().hasDevice());
    QCOMPARE(window.chosenDeviceRow(), -1);
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(window)->itemText(0), QStringLiteral("СМП на программаторе USB"));

    QVERIFY(WaitForDeviceStatus(window));
    QVERIFY(!window.awaitingFirstStatus());
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(window)->currentIndex(), 0);
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtProg);
    QCOMPARE(window.statusLine().panelText(StatusLine::Device), QStringLiteral("Программатор. v 2.0.9"));
    QVERIFY(dialogs.asked.isEmpty());
  }

  // A project named on the command line (or by a later start) opens once the first device object
  // exists to hold its catalog.
  void projectNamedAtStartOpensWhenTheDeviceIsThere() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("цех.kvt"));
    {
      kalvort::TDevCatalog catalog;
      kalvort::TDevCatalogEntry entry;
      entry.cat_num = -1;
      entry.prog_num = 7;
      entry.prog_size = 4;
      entry.p_buffer = std::make_shared<kalvort::ProgramImage>(4, uint8_t{1});
      entry.file_bin_valid = true;
      QVERIFY(catalog.AddCatalogEntry(entry));
      kalvort::ProjectOptions options;
      options.DeviceType = kalvort::dtProg;
      QCOMPARE(kalvort::SaveProjectFile(file.toStdString(), &catalog, options), kalvort::ProjectError::None);
    }
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.OpenProjectFileWhenReady(file);
    QVERIFY(!window.deviceController().hasDevice());
    QVERIFY(WaitForDeviceStatus(window));
    QCOMPARE(window.projectDocument().fileName(), file);
    QCOMPARE(window.windowTitle(), QStringLiteral("Калворт v1.1.7 - ") + file);
    QCOMPARE(window.projectDocument().programs().CatalogCount(), 1);
    QCOMPARE(window.projectDocument().programs().Catalog(0).prog_num, uint16_t{7});
    QCOMPARE(window.statusLine().panelText(StatusLine::Size), QStringLiteral("Всего 4 байт"));
  }
};

KALVORT_APP_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
