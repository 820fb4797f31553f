// The status line and the firmware-update prompt: the texts of the four panels for the USB
// programmer and for a networked controller (simulator on loopback) in each condition.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include "sim/UrvellSimulator.h"
#include "support/AppTest.h"
#include "support/EditorWidgets.h"
#include "support/LoopbackSimulator.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"
#include "workflow/DeviceSession.h"

using kalvort::apptest::ScopedEnv;
using kalvort::apptest::WaitFor;
using kalvort::apptest::WaitForDeviceStatus;
using kalvort::apptest::WaitForNextStatus;

namespace {

QStringList Panels(const MainWindow &w) {
  QStringList texts;
  for (int i = 0; i < StatusLine::PanelCount; ++i) texts << w.statusLine().panelText(static_cast<StatusLine::Panel>(i));
  return texts;
}

QLabel *Panel(const MainWindow &w, int i) {
  return w.statusLine().findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i));
}

}  // namespace

class StatusLineTest : public QObject {
  Q_OBJECT

 private slots:
  void usbProgrammerWithModuleAndProject() {
    ScopedEnv kind("KALVORT_VIRTUAL_KIND", "2000");
    ScopedEnv module("KALVORT_VIRTUAL_MODULE", qPrintable(qEnvironmentVariable("XDG_DATA_HOME") + "/vm-2000.bin"));
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    for (uint32_t size : {3000u, 4000u, 5000u}) kalvort::apptest::AddProgram(window, size);
    QVERIFY(WaitForNextStatus(window));
    QCOMPARE(Panels(window), (QStringList{"Программатор. v 2.0.9", "СМП-2000 ", "Всего 12000 байт",
                                          "Тип проекта: 2C42/2Р22"}));
    QVERIFY(kalvort::apptest::ActionNamed(window, "DeviceClearSMPFullAction")->isEnabled());
    QVERIFY(kalvort::apptest::ActionNamed(window, "DeviceTestSMPFullAction")->isEnabled());
    QVERIFY(kalvort::apptest::ActionNamed(window, "DeviceBurnAction")->isEnabled());
    // Each panel names itself for screen readers: its text, and what it shows.
    QCOMPARE(Panel(window, 0)->accessibleName(), QStringLiteral("Программатор. v 2.0.9"));
    QCOMPARE(Panel(window, 2)->accessibleDescription(), QStringLiteral("Объём"));
    QCOMPARE(Panel(window, 3)->accessibleDescription(), QStringLiteral("Тип проекта"));
    // Panel 3 decides the editor's actions.
    QCOMPARE(kalvort::apptest::ActionSelectorOf(window)->count(), 3);
    QCOMPARE(kalvort::apptest::ActionSelectorOf(window)->itemText(0), QStringLiteral("Добавить NULL в конец кадра"));
  }

  void usbProgrammerModuleKinds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("moduleText");
    QTest::addColumn<QString>("size");
    QTest::addColumn<bool>("commands");
    QTest::newRow("512 pages of 264 bytes: 135168") << "1" << "СМП-???? " << "Всего 0 байт" << true;
    QTest::newRow("mptMP500") << "500" << "СМП-500 " << "Всего 0 байт" << true;
    // Connected without a module: the device commands stay on, they say "МП не подключен".
    QTest::newRow("no module") << "none" << "" << "" << true;
  }
  void usbProgrammerModuleKinds() {
    QFETCH(QString, kind);
    QFETCH(QString, moduleText);
    QFETCH(QString, size);
    QFETCH(bool, commands);
    ScopedEnv k("KALVORT_VIRTUAL_KIND", qPrintable(kind));
    ScopedEnv module("KALVORT_VIRTUAL_MODULE", qPrintable(qEnvironmentVariable("XDG_DATA_HOME") + "/vm-" + kind + ".bin"));
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    QCOMPARE(Panels(window), (QStringList{"Программатор. v 2.0.9", moduleText, size, "Тип проекта: 2C42/2Р22"}));
    QCOMPARE(kalvort::apptest::ActionNamed(window, "DeviceRereadAction")->isEnabled(), commands);
  }

  void networkController() {
    kalvort::sim::UrvellConfig config;
    config.version = 0x01020300;
    auto controller = kalvort::test::startLoopbackSimulator(std::make_shared<kalvort::sim::ModuleMemory>(5),
                                                            std::make_shared<kalvort::sim::ModuleMemory>(1), config);
    QVERIFY(controller);
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.setNetworkDevices({{controller->Config().address, u"Стенд"}});
    auto pick = [&](int index, kalvort::TDeviceType type) {
      kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(index);
      window.DeviceSelectorChanged();
      return WaitFor([&] { return window.deviceController().hasDevice() &&
             window.deviceController().session()->ProjectDeviceType() == type; }) &&
             WaitForNextStatus(window);
    };

    QVERIFY(pick(1, kalvort::dtSMP2C42));
    // A controller takes 2С42 programs: the project type is fixed while it is connected.
    window.projectDocument().options().processing.enabled = false;
    window.projectDocument().options().processing.project_type = 1;
    QVERIFY(WaitForNextStatus(window));
    QCOMPARE(Panels(window), (QStringList{"Модуль Урвелл. v 1.2.3", "СМП-2000 ", "Всего 0 байт",
                                          "Тип проекта: 2C42/2Р22"}));
    QVERIFY(window.projectDocument().options().processing.enabled);
    QCOMPARE(window.projectDocument().options().processing.project_type, 0);
    QVERIFY(kalvort::apptest::ActionNamed(window, "DeviceBurnAction")->isEnabled());
    QVERIFY(!kalvort::apptest::ActionNamed(window, "DeviceClearSMPFullAction")->isEnabled());
    QVERIFY(!kalvort::apptest::ActionNamed(window, "DeviceTestSMPFullAction")->isEnabled());

    QVERIFY(pick(2, kalvort::dtWMP2C42));
    QCOMPARE(Panels(window)[1], QStringLiteral("ВМП-???? "));

    {
      kalvort::test::OtherStation other(*controller);
      QCOMPARE(other.take(kalvort::sim::UrvellSimulator::kSubtypeWMP, 1000), int64_t{1});
      QVERIFY(WaitFor([&] { return Panels(window)[0] == QStringLiteral("Модуль памяти занят"); }));
      QCOMPARE(Panels(window)[1], QString());
      QVERIFY(!kalvort::apptest::ActionNamed(window, "DeviceBurnAction")->isEnabled());
      other.take(kalvort::sim::UrvellSimulator::kSubtypeWMP, 0);
    }
    QVERIFY(WaitFor([&] { return Panels(window)[1] == QStringLiteral("ВМП-???? "); }));

    controller->Stop();
    QVERIFY(WaitFor([&] { return Panels(window)[0] == QStringLiteral("Устройство не отвечает"); }));
    QCOMPARE(Panels(window)[2], QString());
    QVERIFY(!kalvort::apptest::ActionNamed(window, "DeviceRereadAction")->isEnabled());
    QVERIFY(dialogs.asked.isEmpty());
  }

  void updatePromptOnlyForFirmware210_data() {
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<bool>("prompt");
    QTest::newRow("209") << QByteArray("209") << false;
    QTest::newRow("211") << QByteArray("211") << false;
    QTest::newRow("210") << QByteArray("210") << true;
  }
  void updatePromptOnlyForFirmware210() {
    QFETCH(QByteArray, firmware);
    QFETCH(bool, prompt);
    QTemporaryDir bin;
    const QString marker = bin.filePath("updater-ran");
    QFile script(bin.filePath("kalvort-updater"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ScopedEnv path("PATH", qPrintable(bin.path() + ":/usr/bin:/bin"));
    ScopedEnv f("KALVORT_VIRTUAL_FIRMWARE", firmware.constData());

    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    QVERIFY(WaitFor([&] { return window.deviceController().hasDevice(); }));
    QVERIFY(WaitFor([&] { return !dialogs.asked.isEmpty() || !Panels(window)[0].isEmpty(); }));
    if (!prompt) {
      QVERIFY(WaitForNextStatus(window));
      QVERIFY(dialogs.asked.isEmpty());
      QVERIFY(window.isVisible());
      QCOMPARE(Panels(window)[0], QStringLiteral("Программатор. v 2.") + firmware.mid(1, 1) + "." +
                                                  firmware.mid(2, 1));
      return;
    }
    QVERIFY(WaitFor([&] { return !window.isVisible(); }));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Обновление ПО программатора"));
    QCOMPARE(dialogs.asked[0].text,
             QStringLiteral("Необходимо обновление ПО программатора. Для продолжения нажмите \"ОК\". "
                            "Запустится программа обновления. После обновления запустите программу "
                            "\"Калворт\" заново. Не отключайте программатор от USB во время обновления!"));
    QCOMPARE(dialogs.asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!window.deviceController().polling());
    QVERIFY(!window.deviceController().hasDevice());
    QVERIFY(WaitFor([&] { return QFile::exists(marker); }));
  }

  // Also when an updater lies in a folder that only a relative PATH entry names.
  void updaterThatCannotStartIsReported() {
    QTemporaryDir emptyBin;
    QVERIFY(QDir(emptyBin.path()).mkdir(QStringLiteral("rel")));
    QFile script(emptyBin.filePath(QStringLiteral("rel/kalvort-updater")));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(emptyBin.filePath(QStringLiteral("ran"))).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(emptyBin.path());
    ScopedEnv path("PATH", qPrintable(emptyBin.path() + QStringLiteral(":rel:")));
    ScopedEnv f("KALVORT_VIRTUAL_FIRMWARE", "210");
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    window.show();
    QVERIFY(WaitFor([&] { return !window.isVisible(); }));
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked[1].icon, QMessageBox::Critical);
    QVERIFY(dialogs.asked[1].text.contains(QStringLiteral("kalvort-updater")));
    QDir::setCurrent(oldDir);
    QVERIFY(!QFile::exists(emptyBin.filePath(QStringLiteral("ran"))));
  }
};

KALVORT_APP_TEST_MAIN(StatusLineTest)
#include "StatusLineTest.moc"
