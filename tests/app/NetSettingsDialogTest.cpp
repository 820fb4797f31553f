// The network device dialog: list editing with its duplicate check, and the search over a range
// against controller simulators on loopback addresses.

#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "dialogs/NetSettingsDialog.h"
#include "support/AppTest.h"
#include "support/LoopbackSimulator.h"
#include "support/ScriptedDialogs.h"
#include "widgets/Ipv4Edit.h"
#include "workflow/NetworkSearch.h"

using kalvort::TNetDevice;
using kalvort::app::Ipv4Edit;

namespace {

QStringList column(const QTableWidget *grid, int col) {
  QStringList out;
  for (int r = 0; r < grid->rowCount(); ++r) out << (grid->item(r, col) ? grid->item(r, col)->text() : QString());
  return out;
}

// Waits (event loop running) until the dialog's search has ended and its last probe returned.
bool waitSearchEnd(TNetSettingsForm &f, int ms = 10000) {
  return QTest::qWaitFor([&] { return !f.searching() && !f.probing(); }, ms);
}

std::shared_ptr<kalvort::sim::ModuleMemory> module() { return std::make_shared<kalvort::sim::ModuleMemory>(1); }

}  // namespace

class NetSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void addChangeDeleteClear() {
    ScriptedDialogs dialogs;
    TNetSettingsForm f(dialogs);
    std::vector<TNetDevice> list{{"127.0.0.5", u"Станок 1"}};
    f.setDevices(&list);
    f.show();
    QCOMPARE(f.IpEdit->address(), QStringLiteral("127.0.0.5"));  // row 1 selected on showing
    QCOMPARE(f.NameEdit->text(), QStringLiteral("Станок 1"));

    // Adding an address already listed is refused with the warning, nothing changes.
    f.NameEdit->setText(QStringLiteral("Другой"));
    f.AddButton->click();
    QCOMPARE(list.size(), size_t(1));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Предупреждение"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Такой IP-адрес есть в списке."));

    f.IpEdit->setAddress(QStringLiteral("127.0.0.6"));
    f.NameEdit->setText(QStringLiteral("Станок 2"));
    f.AddButton->click();
    QCOMPARE(list, (std::vector<TNetDevice>{{"127.0.0.5", u"Станок 1"}, {"127.0.0.6", u"Станок 2"}}));
    QCOMPARE(column(f.DeviceTable, 0), (QStringList{"1", "2"}));
    QCOMPARE(column(f.DeviceTable, 1), (QStringList{"127.0.0.5", "127.0.0.6"}));

    // Changing an entry: keeping its own address is fine, taking another entry's is refused.
    f.DeviceTable->setCurrentCell(0, 0);
    f.NameEdit->setText(QStringLiteral("Станок 1а"));
    f.ChangeButton->click();
    QCOMPARE(list[0].name, std::u16string(u"Станок 1а"));
    f.IpEdit->setAddress(QStringLiteral("127.0.0.6"));
    f.ChangeButton->click();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(list[0].ip, std::string("127.0.0.5"));

    f.DeviceTable->setCurrentCell(0, 0);
    f.DelButton->click();
    QCOMPARE(list, (std::vector<TNetDevice>{{"127.0.0.6", u"Станок 2"}}));
    f.ClearButton->click();
    QVERIFY(list.empty());
    QCOMPARE(f.DeviceTable->rowCount(), 0);
    f.DelButton->click();  // nothing to delete or change: no effect
    f.ChangeButton->click();
    QVERIFY(list.empty());
    QCOMPARE(dialogs.asked.size(), 2);
  }

  void invertedRangeIsRefused() {
    ScriptedDialogs dialogs;
    TNetSettingsForm f(dialogs);
    f.show();
    f.FromEdit->setAddress(QStringLiteral("127.0.1.0"));
    f.ToEdit->setAddress(QStringLiteral("127.0.0.255"));
    f.StartButton->click();
    QVERIFY(!f.searching());
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Неверный диапазон поиска."));
    QVERIFY(f.StartButton->isEnabled());
    QVERIFY(!f.StopButton->isEnabled());
  }

  // A controller between two addresses where none answers is found; a click on the result fills
  // the fields; equal ends probe exactly that one address.
  void searchFindsController() {
    auto sim = kalvort::test::startLoopbackSimulator(module());
    const uint32_t at = *Ipv4Edit::parse(QString::fromStdString(sim->Config().address));
    ScriptedDialogs dialogs;
    TNetSettingsForm f(dialogs);
    f.show();
    f.FromEdit->setAddress(Ipv4Edit::format(at - 1));
    f.ToEdit->setAddress(Ipv4Edit::format(at + 1));
    f.StartButton->click();
    QVERIFY(f.searching());
    for (QWidget *w : std::initializer_list<QWidget *>{f.IpEdit, f.NameEdit, f.FromEdit, f.ToEdit, f.AddButton,
                                                       f.DelButton, f.ChangeButton, f.ClearButton, f.StartButton,
                                                       f.OkButton})
      QVERIFY(!w->isEnabled());
    QVERIFY(f.StopButton->isEnabled());
    QVERIFY(f.CancelButton->isEnabled());
    QVERIFY(waitSearchEnd(f));
    // Other test processes may run simulators on neighbouring addresses: ours must be listed.
    QVERIFY(column(f.SearchTable, 0).contains(Ipv4Edit::format(at)));
    QVERIFY(f.StartButton->isEnabled() && !f.StopButton->isEnabled());
    QCOMPARE(f.ProgressBar->value(), 0);

    const int row = static_cast<int>(column(f.SearchTable, 0).indexOf(Ipv4Edit::format(at)));
    f.IpEdit->setAddress(QStringLiteral("1.2.3.4"));
    f.NameEdit->setText(QStringLiteral("x"));
    QTest::mouseClick(f.SearchTable->viewport(), Qt::LeftButton, {},
                      f.SearchTable->visualItemRect(f.SearchTable->item(row, 0)).center());
    QCOMPARE(f.IpEdit->address(), Ipv4Edit::format(at));
    QCOMPARE(f.NameEdit->text(), QStringLiteral("Устройство"));

    const uint64_t before = sim->Requests();
    f.FromEdit->setAddress(Ipv4Edit::format(at));
    f.ToEdit->setAddress(Ipv4Edit::format(at));
    f.StartButton->click();
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(column(f.SearchTable, 0), QStringList{Ipv4Edit::format(at)});
    QVERIFY(sim->Requests() > before);
  }

  // The progress bar counts addresses over the whole range, also across an octet boundary.
  // (No simulator ever listens on .254 to .1 of a 127.0.B block.)
  void progressAcrossAnOctetBoundary() {
    ScriptedDialogs dialogs;
    TNetSettingsForm f(dialogs);
    f.show();
    f.FromEdit->setAddress(QStringLiteral("127.0.200.254"));
    f.ToEdit->setAddress(QStringLiteral("127.0.201.1"));
    f.StartButton->click();
    QVERIFY(QTest::qWaitFor([&] { return f.ProgressBar->value() > 0; }, 5000));
    QCOMPARE(f.ProgressBar->value(), 25);
    QVERIFY(QTest::qWaitFor([&] { return f.ProgressBar->value() != 25; }, 5000));
    QVERIFY(f.ProgressBar->value() == 50 || !f.searching());
    f.StopButton->click();
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(f.SearchTable->rowCount(), 0);
  }

  // "Стоп" acts at once, keeps what was found, and the dialog can be closed during a search.
  void stopKeepsResultsAndClosingEndsSearch() {
    auto sim = kalvort::test::startLoopbackSimulator(module());
    const uint32_t at = *Ipv4Edit::parse(QString::fromStdString(sim->Config().address));
    ScriptedDialogs dialogs;
    TNetSettingsForm f(dialogs);
    f.show();
    f.FromEdit->setAddress(Ipv4Edit::format(at));
    f.ToEdit->setAddress(Ipv4Edit::format(at + 200));
    f.StartButton->click();
    QVERIFY(QTest::qWaitFor([&] { return f.SearchTable->rowCount() > 0; }, 5000));
    QVERIFY(QTest::qWaitFor([&] { return f.probing(); }, 2000));
    QElapsedTimer clock;
    clock.start();
    f.StopButton->click();
    QVERIFY(clock.elapsed() < 50);
    QVERIFY(!f.searching());
    QVERIFY(f.StartButton->isEnabled());
    QCOMPARE(column(f.SearchTable, 0).first(), Ipv4Edit::format(at));
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(column(f.SearchTable, 0).first(), Ipv4Edit::format(at));  // the stopped probe adds nothing
    const int kept = f.SearchTable->rowCount();
    QTest::qWait(700);
    QCOMPARE(f.SearchTable->rowCount(), kept);

    // A search running when the dialog is cancelled ends with it, its last probe returned.
    f.StartButton->click();
    QVERIFY(f.searching());
    QTest::qWait(300);
    f.reject();
    QVERIFY(!f.searching());
    QVERIFY(QTest::qWaitFor([&] { return !f.probing(); }, 2000));
    QVERIFY(!f.isVisible());
  }
};

KALVORT_APP_TEST_MAIN(NetSettingsDialogTest)
#include "NetSettingsDialogTest.moc"
