// The main window at start: caption, actions, status line, the first status ticks.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>

#include "support/AppTest.h"
#include "workflow/DeviceSession.h"
#include "support/ScriptedDialogs.h"
#include "window/MainWindow.h"

using kalvort::apptest::WaitForDeviceStatus;

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithEmptyProjectAndTheUsbProgrammer() {
    ScriptedDialogs dialogs;
    TKLV_main_form window(dialogs);
    QCOMPARE(window.windowTitle(), QStringLiteral("Калворт v1.1.7 - Проект.kvt"));
    QVERIFY(window.first_time);
    QVERIFY(!window.MemDevice);
    QCOMPARE(window.CurDeviceNum, -1);
    QCOMPARE(window.ComboBox1->itemText(0), QStringLiteral("СМП на программаторе USB"));

    QVERIFY(WaitForDeviceStatus(window));
    QVERIFY(!window.first_time);
    QCOMPARE(window.ComboBox1->currentIndex(), 0);
    QCOMPARE(window.DeviceType, kalvort::dtProg);
    QCOMPARE(window.StatusPanel[0]->text(), QStringLiteral("Программатор. v 2.0.9"));
    QVERIFY(dialogs.asked.isEmpty());
  }
};

KALVORT_APP_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
