// The device controller on its own, without a window: what happens when it is let go or shut down
// while its worker is busy. The window's device commands drive it end to end in DeviceCommandsTest.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <memory>

#include "support/AppTest.h"
#include "support/CatalogPrograms.h"
#include "support/LoopbackSimulator.h"
#include "window/DeviceController.h"

using kalvort::TransferResult;
using kalvort::TransferStatus;
using kalvort::apptest::WaitFor;

class DeviceControllerTest : public QObject {
  Q_OBJECT

 private slots:
  // Letting the controller go while a slow write runs returns at once: the chain is cancelled,
  // returns on the worker as cancelled, and nothing of it is reported any more.
  void lettingTheControllerGoCancelsTheRunningChain() {
    auto sim = kalvort::test::startLoopbackSimulator(std::make_shared<kalvort::sim::ModuleMemory>(1));
    sim->SMP().SetBusyTimes(std::chrono::milliseconds(10), std::chrono::milliseconds(10));
    kalvort::Project project;
    std::vector<kalvort::testing::Program> many;
    for (int i = 0; i < 20; ++i)
      many.push_back({i, u"П" + std::u16string(1, char16_t(u'А' + i)), {}, kalvort::ProgramImage(2000, uint8_t(i))});
    QVERIFY(kalvort::testing::AddPrograms(project.Programs(), many));

    auto controller = std::make_unique<DeviceController>();
    kalvort::workflow::DeviceTarget target;
    target.usb = false;
    target.ip = sim->Config().address;
    controller->choose(target, 1);
    QSignalSpy attached(controller.get(), &DeviceController::deviceAttached);
    QVERIFY(attached.wait(10000));
    QVERIFY(controller->beginCommand());
    QVERIFY(!controller->polling());

    int finished = 0;
    connect(controller.get(), &DeviceController::commandFinished, this, [&finished] { ++finished; });
    QString step;
    connect(controller.get(), &DeviceController::chainStatusChanged, this,
            [&step](const QString &text) { step = text; });
    auto returned = std::make_shared<TransferResult>();
    returned->status = TransferStatus::Ok;
    controller->runChain(
        [&project, returned](kalvort::ProjectTransfer &t) {
          *returned = t.RunWriteProject(project);
          return *returned;
        });
    QVERIFY(WaitFor([&] { return step.startsWith(QStringLiteral("3. ")); }, 30000));  // writing the programs

    QElapsedTimer clock;
    clock.start();
    controller.reset();
    const qint64 took = clock.elapsed();
    QVERIFY2(took < 500, qPrintable(QString::number(took)));  // the whole write takes seconds
    QCOMPARE(returned->status, TransferStatus::Cancelled);
    QTest::qWait(50);
    QCOMPARE(finished, 0);
  }

  // The window closing while a device is being made: the device never attaches and the poll
  // stays stopped.
  void aDeviceMadeAfterShutDownIsNotAttached() {
    DeviceController controller;
    QSignalSpy attached(&controller, &DeviceController::deviceAttached);
    controller.startPolling();
    controller.choose(kalvort::workflow::DeviceTarget{}, 1);
    QVERIFY(controller.creationPending());
    controller.shutDown();
    controller.startPolling();
    QVERIFY(!controller.polling());
    QVERIFY(WaitFor([&] { return controller.pendingJobs() == 0; }, 10000));
    QTest::qWait(50);
    QCOMPARE(attached.count(), 0);
    QVERIFY(!controller.hasDevice());
  }
};

int main(int argc, char **argv) {
  QTemporaryDir root;
  kalvort::apptest::UseTemporaryFolders(root.path());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("KALVORT_LOOPBACK_ONLY", "1");
  QApplication app(argc, argv);
  DeviceControllerTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "DeviceControllerTest.moc"
