// The device selector: its entries and tags, what a pick does to the device object, and the
// project question of a device change.

#include <QComboBox>

#include "sim/UrvellSimulator.h"
#include "support/AppTest.h"
#include "support/LoopbackSimulator.h"
#include "support/ScriptedDialogs.h"
#include "transport/LANDeviceUnit.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "workflow/DeviceSession.h"

using kalvort::apptest::WaitFor;
using kalvort::apptest::WaitForDeviceStatus;

class DeviceSelectionTest : public QObject {
  Q_OBJECT

  // Picks selector entry `index` and waits until its device object is in place.
  static bool Pick(MainWindow &window, int index) {
    kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(index);
    window.DeviceSelectorChanged();
    return WaitFor([&] { return window.deviceController().hasDevice() &&
           !window.deviceController().creationPending(); });
  }

 private slots:
  void entriesTagsAndPicks() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    // Two controllers with nothing listening: the device objects are made all the same.
    window.setNetworkDevices({{"127.0.0.251", u"A"}, {"127.0.0.252", u"B"}});
    QCOMPARE(window.chosenDeviceRow(), -1);
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(window)->currentIndex(), -1);
    QStringList texts;
    QList<int> tags;
    for (int i = 0; i < kalvort::apptest::DeviceSelectorOf(window)->count(); ++i) {
      texts << kalvort::apptest::DeviceSelectorOf(window)->itemText(i);
      tags << kalvort::apptest::DeviceSelectorOf(window)->itemData(i).toInt();
    }
    QCOMPARE(texts, (QStringList{"СМП на программаторе USB", "СМП на Урвелл - A", "ВМП на Урвелл - A",
                                 "СМП на Урвелл - B", "ВМП на Урвелл - B"}));
    QCOMPARE(tags, (QList<int>{0, 1, 1001, 2, 1002}));

    QVERIFY(Pick(window, 4));
    QCOMPARE(window.chosenNetworkDevice(), 1);
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtWMP2C42);
    const kalvort::workflow::DeviceTarget &target = window.deviceController().session()->Target();
    QVERIFY(!target.usb);
    QCOMPARE(target.ip, std::string("127.0.0.252"));
    QCOMPARE(target.port, uint16_t{30000});
    QCOMPARE(target.subtype, kalvort::dstWMP);
    auto *lan = dynamic_cast<kalvort::TLANDeviceClass *>(&window.deviceController().session()->Device());
    QVERIFY(lan);
    QCOMPARE(lan->DevSubtype(), kalvort::dstWMP);
    QCOMPARE(window.projectDocument().programs().MaxProgNum(), 100);

    // The entry already in use: nothing happens.
    const kalvort::workflow::DeviceSession *before = window.deviceController().session();
    window.DeviceSelectorChanged();
    QVERIFY(!window.deviceController().creationPending());
    QCOMPARE(window.deviceController().session(), before);

    // The other module of the same controller: a new device object.
    QVERIFY(Pick(window, 3));
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtSMP2C42);
    QCOMPARE(window.deviceController().session()->Target().subtype, kalvort::dstSMP);
    QCOMPARE(window.chosenNetworkDevice(), 1);

    QVERIFY(Pick(window, 0));
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtProg);
    QVERIFY(window.deviceController().session()->Target().usb);
    QCOMPARE(window.chosenNetworkDevice(), -1);
    QVERIFY(dialogs.asked.isEmpty());
  }

  void unsavedProjectIsAskedAboutOnceAndReset_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Yes") << int(QMessageBox::Yes);
    QTest::newRow("No") << int(QMessageBox::No);
  }
  void unsavedProjectIsAskedAboutOnceAndReset() {
    QFETCH(int, answer);
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.setNetworkDevices({{"127.0.0.251", u"A"}});
    kalvort::apptest::AddProgram(window, 10);
    window.projectDocument().setChanged(true);
    window.projectDocument().setFileName(QStringLiteral("/tmp/цех.kvt"));
    dialogs.answers = {static_cast<QMessageBox::StandardButton>(answer)};
    dialogs.files = {QString()};  // a save dialog, if one comes, is cancelled
    QVERIFY(Pick(window, 1));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Проект не сохранен"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Сохранить проект?"));
    QCOMPARE(dialogs.asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(window.projectDocument().fileName(), QStringLiteral("Проект.kvt"));
    QVERIFY(!window.projectDocument().changed());
    QCOMPARE(window.windowTitle(), QStringLiteral("Калворт v1.1.7 - Проект.kvt"));
    QCOMPARE(window.projectDocument().programs().CatalogCount(), 0);
  }

  // An unchanged project is not asked about and keeps its programs on the new device object.
  void unchangedProjectMovesToTheNewDevice() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.setNetworkDevices({{"127.0.0.251", u"A"}});
    kalvort::apptest::AddProgram(window, 10);
    kalvort::apptest::AddProgram(window, 20);
    window.projectDocument().setFileName(QStringLiteral("/tmp/цех.kvt"));
    QVERIFY(Pick(window, 1));
    QVERIFY(dialogs.asked.isEmpty());
    QCOMPARE(window.projectDocument().fileName(), QStringLiteral("/tmp/цех.kvt"));
    QCOMPARE(window.projectDocument().programs().CatalogCount(), 2);
    QCOMPARE(window.projectDocument().programs().Catalog(1).prog_size, 20u);
  }

  // Quick successive picks: only the last one's device object stays.
  void latestPickWins() {
    kalvort::sim::UrvellConfig config;
    config.faults.delay_ms = 100;  // a slow controller: its object takes a while to make
    auto controller = kalvort::test::startLoopbackSimulator(std::make_shared<kalvort::sim::ModuleMemory>(1), nullptr, config);
    QVERIFY(controller);
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.setNetworkDevices({{controller->Config().address, u"A"}});
    kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(1);
    window.DeviceSelectorChanged();
    kalvort::apptest::DeviceSelectorOf(window)->setCurrentIndex(0);
    window.DeviceSelectorChanged();
    QVERIFY(WaitFor([&] { return window.deviceController().hasDevice() &&
                                 !window.deviceController().creationPending(); }));
    QTest::qWait(300);
    QVERIFY(window.deviceController().session()->Target().usb);
    QCOMPARE(window.projectDocument().deviceType(), kalvort::dtProg);
  }
};

KALVORT_APP_TEST_MAIN(DeviceSelectionTest)
#include "DeviceSelectionTest.moc"
