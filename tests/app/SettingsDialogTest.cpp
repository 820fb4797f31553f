// "Настройки проекта": what the dialog enables, what OK and Отмена hand back, and what the
// window does with it.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTimer>

#include "dialogs/SettingsDialog.h"
#include "support/AppTest.h"
#include "support/DialogWidgets.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "workflow/DeviceSession.h"

using kalvort::apptest::NamedChild;
using kalvort::apptest::WaitFor;
using kalvort::apptest::WaitForDeviceStatus;

namespace {

// Runs `edit` on the settings dialog once it is shown modally, then presses its OK or Отмена.
void WhenDialogShows(const std::function<void(SettingsDialog &)> &edit, bool ok) {
  QTimer::singleShot(0, [edit, ok] {
    auto *form = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget());
    if (!form) {
      QTimer::singleShot(10, [edit, ok] { WhenDialogShows(edit, ok); });
      return;
    }
    edit(*form);
    NamedChild<QPushButton>(*form, ok ? "OkButton" : "CancelButton")->click();
  });
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void enablingRules_data() {
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("process");
    QTest::addColumn<bool>("typeList");
    QTest::addColumn<bool>("merge");
    QTest::newRow("programmer, processing") << false << true << true << true;
    QTest::newRow("programmer, no processing") << false << false << false << false;
    QTest::newRow("controller, processing") << true << true << false << true;
  }
  void enablingRules() {
    QFETCH(bool, fixed);
    QFETCH(bool, process);
    QFETCH(bool, typeList);
    QFETCH(bool, merge);
    SettingsDialog form;
    kalvort::Options options;
    options.processing.enabled = process;
    options.timeout_factor = 4;
    form.setProjectTypeFixed(fixed);
    form.setOptions(options);
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Настройки проекта"));
    QCOMPARE(NamedChild<QSlider>(form, "TimeoutSlider")->value(), 4);
    QCOMPARE(NamedChild<QComboBox>(form, "ProjectTypeCombo")->isEnabled(), typeList);
    QCOMPARE(NamedChild<QCheckBox>(form, "MergeCheck")->isEnabled(), merge);
    // Ticking the box later switches the type list (never for a controller); the НЦ-31 box stays.
    NamedChild<QCheckBox>(form, "ProcessCheck")->click();
    QCOMPARE(NamedChild<QComboBox>(form, "ProjectTypeCombo")->isEnabled(), !fixed && !process);
    QCOMPARE(NamedChild<QCheckBox>(form, "MergeCheck")->isEnabled(), merge);
  }

  // Scripts and accessibility tools reach every control through its object name.
  void everyControlHasItsObjectName() {
    SettingsDialog form;
    for (const char *name : {"TimeoutSlider", "ProcessCheck", "ProjectTypeCombo", "Nc31Group", "MergeCheck",
                             "Format2C42Group", "FixProgNumCheck", "DelSpaceCheck", "DelEmptyCheck", "Vz200Check",
                             "OkButton", "CancelButton"})
      QVERIFY2(form.findChild<QWidget *>(QString::fromLatin1(name)), name);
  }

  void okCopiesAndCancelKeeps() {
    SettingsDialog form;
    form.show();
    NamedChild<QSlider>(form, "TimeoutSlider")->setValue(5);
    NamedChild<QComboBox>(form, "ProjectTypeCombo")->setCurrentIndex(1);
    NamedChild<QCheckBox>(form, "Vz200Check")->setChecked(true);
    NamedChild<QCheckBox>(form, "DelSpaceCheck")->setChecked(false);
    NamedChild<QPushButton>(form, "CancelButton")->click();
    QCOMPARE(form.options().timeout_factor, 3);
    QCOMPARE(form.options().processing.project_type, 0);
    form.show();
    QCOMPARE(NamedChild<QSlider>(form, "TimeoutSlider")->value(), 3);
    NamedChild<QSlider>(form, "TimeoutSlider")->setValue(5);
    NamedChild<QComboBox>(form, "ProjectTypeCombo")->setCurrentIndex(1);
    NamedChild<QCheckBox>(form, "Vz200Check")->setChecked(true);
    NamedChild<QCheckBox>(form, "DelSpaceCheck")->setChecked(false);
    NamedChild<QPushButton>(form, "OkButton")->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.options().timeout_factor, 5);
    QCOMPARE(form.options().processing.project_type, 1);
    QVERIFY(form.options().vz20_format);
    QVERIFY(!form.options().drop_spaces);
  }

  void windowTakesTheOptions() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    QSignalSpy reprocess(&window, &MainWindow::reprocessRequested);

    // The slider alone: the new factor reaches the device, nothing is reprocessed.
    WhenDialogShows([](SettingsDialog &f) { NamedChild<QSlider>(f, "TimeoutSlider")->setValue(5); }, true);
    window.OptionsActionExecute();
    QCOMPARE(window.projectDocument().options().timeout_factor, 5);
    QCOMPARE(window.deviceController().session()->Device().TimeoutFactor(), 5);
    QCOMPARE(reprocess.count(), 0);

    // Another project type on the programmer: reprocessed.
    WhenDialogShows([](SettingsDialog &f) { NamedChild<QComboBox>(f, "ProjectTypeCombo")->setCurrentIndex(1); }, true);
    window.OptionsActionExecute();
    QCOMPARE(window.projectDocument().options().processing.project_type, 1);
    QCOMPARE(reprocess.count(), 1);

    // Отмена changes nothing.
    WhenDialogShows(
        [](SettingsDialog &f) {
          NamedChild<QSlider>(f, "TimeoutSlider")->setValue(1);
          NamedChild<QCheckBox>(f, "MergeCheck")->setChecked(true);
        },
        false);
    window.OptionsActionExecute();
    QCOMPARE(window.projectDocument().options().timeout_factor, 5);
    QVERIFY(!window.projectDocument().options().merge_nc31_words);
  }

  void networkDeviceKeepsTheProjectType2C42() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.setNetworkDevices({{"127.0.0.251", u"A"}});
    kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(1);
    window.DeviceSelectorChanged();
    QVERIFY(WaitFor([&] { return window.deviceController().hasDevice() &&
                                 !window.deviceController().creationPending(); }));
    QCOMPARE(window.projectDocument().options().processing.project_type, 0);
    bool typeListEnabled = true;
    WhenDialogShows(
        [&](SettingsDialog &f) {
          auto *typeList = NamedChild<QComboBox>(f, "ProjectTypeCombo");
          typeListEnabled = typeList->isEnabled();
          typeList->setCurrentIndex(1);  // what a script could still do: OK keeps 0
        },
        true);
    window.OptionsActionExecute();
    QVERIFY(!typeListEnabled);
    QCOMPARE(window.projectDocument().options().processing.project_type, 0);
  }
};

KALVORT_APP_TEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
