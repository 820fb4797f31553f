// The network device dialog: list editing with its duplicate check, and the search over a range
// against controller simulators on loopback addresses.

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "dialogs/NetSettingsDialog.h"
#include "support/AppTest.h"
#include "support/DialogWidgets.h"
#include "support/LoopbackSimulator.h"
#include "support/ScriptedDialogs.h"
#include "widgets/Ipv4Edit.h"
#include "workflow/NetworkSearch.h"

using kalvort::TNetDevice;
using kalvort::apptest::NamedChild;
using kalvort::app::Ipv4Edit;

namespace {

QStringList column(const QTableWidget *grid, int col) {
  QStringList out;
  for (int r = 0; r < grid->rowCount(); ++r) out << (grid->item(r, col) ? grid->item(r, col)->text() : QString());
  return out;
}

// Waits (event loop running) until the dialog's search has ended and its last probe returned.
bool waitSearchEnd(NetSettingsDialog &f, int ms = 10000) {
  return QTest::qWaitFor([&] { return !f.searching() && !f.probing(); }, ms);
}

// The dialog's controls, reached through their object names.
struct Controls {
  explicit Controls(const NetSettingsDialog &f)
      : deviceTable(NamedChild<QTableWidget>(f, "DeviceTable")),
        ipEdit(NamedChild<Ipv4Edit>(f, "IpEdit")),
        nameEdit(NamedChild<QLineEdit>(f, "NameEdit")),
        addButton(NamedChild<QPushButton>(f, "AddButton")),
        delButton(NamedChild<QPushButton>(f, "DelButton")),
        changeButton(NamedChild<QPushButton>(f, "ChangeButton")),
        clearButton(NamedChild<QPushButton>(f, "ClearButton")),
        fromEdit(NamedChild<Ipv4Edit>(f, "FromEdit")),
        toEdit(NamedChild<Ipv4Edit>(f, "ToEdit")),
        searchTable(NamedChild<QTableWidget>(f, "SearchTable")),
        progressBar(NamedChild<QProgressBar>(f, "ProgressBar")),
        startButton(NamedChild<QPushButton>(f, "StartButton")),
        stopButton(NamedChild<QPushButton>(f, "StopButton")),
        okButton(NamedChild<QPushButton>(f, "OkButton")),
        cancelButton(NamedChild<QPushButton>(f, "CancelButton")) {}
  QTableWidget *deviceTable;
  Ipv4Edit *ipEdit;
  QLineEdit *nameEdit;
  QPushButton *addButton;
  QPushButton *delButton;
  QPushButton *changeButton;
  QPushButton *clearButton;
  Ipv4Edit *fromEdit;
  Ipv4Edit *toEdit;
  QTableWidget *searchTable;
  QProgressBar *progressBar;
  QPushButton *startButton;
  QPushButton *stopButton;
  QPushButton *okButton;
  QPushButton *cancelButton;
};

std::shared_ptr<kalvort::sim::ModuleMemory> module() { return std::make_shared<kalvort::sim::ModuleMemory>(1); }

}  // namespace

class NetSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void addChangeDeleteClear() {
    ScriptedDialogs dialogs;
    NetSettingsDialog f(dialogs);
    const Controls c(f);
    std::vector<TNetDevice> list{{"127.0.0.5", u"Станок 1"}};
    f.setDevices(&list);
    f.show();
    QCOMPARE(c.ipEdit->address(), QStringLiteral("127.0.0.5"));  // row 1 selected on showing
    QCOMPARE(c.nameEdit->text(), QStringLiteral("Станок 1"));

    // Adding an address already listed is refused with the warning, nothing changes.
    c.nameEdit->setText(QStringLiteral("Другой"));
    c.addButton->click();
    QCOMPARE(list.size(), size_t(1));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Предупреждение"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Такой IP-адрес есть в списке."));

    c.ipEdit->setAddress(QStringLiteral("127.0.0.6"));
    c.nameEdit->setText(QStringLiteral("Станок 2"));
    c.addButton->click();
    QCOMPARE(list, (std::vector<TNetDevice>{{"127.0.0.5", u"Станок 1"}, {"127.0.0.6", u"Станок 2"}}));
    QCOMPARE(column(c.deviceTable, 0), (QStringList{"1", "2"}));
    QCOMPARE(column(c.deviceTable, 1), (QStringList{"127.0.0.5", "127.0.0.6"}));

    // Changing an entry: keeping its own address is fine, taking another entry's is refused.
    c.deviceTable->setCurrentCell(0, 0);
    c.nameEdit->setText(QStringLiteral("Станок 1а"));
    c.changeButton->click();
    QCOMPARE(list[0].name, std::u16string(u"Станок 1а"));
    c.ipEdit->setAddress(QStringLiteral("127.0.0.6"));
    c.changeButton->click();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(list[0].ip, std::string("127.0.0.5"));

    c.deviceTable->setCurrentCell(0, 0);
    c.delButton->click();
    QCOMPARE(list, (std::vector<TNetDevice>{{"127.0.0.6", u"Станок 2"}}));
    c.clearButton->click();
    QVERIFY(list.empty());
    QCOMPARE(c.deviceTable->rowCount(), 0);
    c.delButton->click();  // nothing to delete or change: no effect
    c.changeButton->click();
    QVERIFY(list.empty());
    QCOMPARE(dialogs.asked.size(), 2);
  }

  void invertedRangeIsRefused() {
    ScriptedDialogs dialogs;
    NetSettingsDialog f(dialogs);
    const Controls c(f);
    f.show();
    c.fromEdit->setAddress(QStringLiteral("127.0.1.0"));
    c.toEdit->setAddress(QStringLiteral("127.0.0.255"));
    c.startButton->click();
    QVERIFY(!f.searching());
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Неверный диапазон поиска."));
    QVERIFY(c.startButton->isEnabled());
    QVERIFY(!c.stopButton->isEnabled());
  }

  // A controller between two addresses where none answers is found; a click on the result fills
  // the fields; equal ends probe exactly that one address.
  void searchFindsController() {
    auto sim = kalvort::test::startLoopbackSimulator(module());
    const uint32_t at = *Ipv4Edit::parse(QString::fromStdString(sim->Config().address));
    ScriptedDialogs dialogs;
    NetSettingsDialog f(dialogs);
    const Controls c(f);
    f.show();
    c.fromEdit->setAddress(Ipv4Edit::format(at - 1));
    c.toEdit->setAddress(Ipv4Edit::format(at + 1));
    c.startButton->click();
    QVERIFY(f.searching());
    for (QWidget *w : std::initializer_list<QWidget *>{c.ipEdit, c.nameEdit, c.fromEdit, c.toEdit, c.addButton,
                                                       c.delButton, c.changeButton, c.clearButton, c.startButton,
                                                       c.okButton})
      QVERIFY(!w->isEnabled());
    QVERIFY(c.stopButton->isEnabled());
    QVERIFY(c.cancelButton->isEnabled());
    QVERIFY(waitSearchEnd(f));
    // Other test processes may run simulators on neighbouring addresses: ours must be listed.
    QVERIFY(column(c.searchTable, 0).contains(Ipv4Edit::format(at)));
    QVERIFY(c.startButton->isEnabled() && !c.stopButton->isEnabled());
    QCOMPARE(c.progressBar->value(), 0);

    const int row = static_cast<int>(column(c.searchTable, 0).indexOf(Ipv4Edit::format(at)));
    c.ipEdit->setAddress(QStringLiteral("1.2.3.4"));
    c.nameEdit->setText(QStringLiteral("x"));
    QTest::mouseClick(c.searchTable->viewport(), Qt::LeftButton, {},
                      c.searchTable->visualItemRect(c.searchTable->item(row, 0)).center());
    QCOMPARE(c.ipEdit->address(), Ipv4Edit::format(at));
    QCOMPARE(c.nameEdit->text(), QStringLiteral("Устройство"));

    const uint64_t before = sim->Requests();
    c.fromEdit->setAddress(Ipv4Edit::format(at));
    c.toEdit->setAddress(Ipv4Edit::format(at));
    c.startButton->click();
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(column(c.searchTable, 0), QStringList{Ipv4Edit::format(at)});
    QVERIFY(sim->Requests() > before);
  }

  // The progress bar counts addresses over the whole range, also across an octet boundary.
  // (No simulator ever listens on .254 to .1 of a 127.0.B block.)
  void progressAcrossAnOctetBoundary() {
    ScriptedDialogs dialogs;
    NetSettingsDialog f(dialogs);
    const Controls c(f);
    f.show();
    c.fromEdit->setAddress(QStringLiteral("127.0.200.254"));
    c.toEdit->setAddress(QStringLiteral("127.0.201.1"));
    c.startButton->click();
    QVERIFY(QTest::qWaitFor([&] { return c.progressBar->value() > 0; }, 5000));
    QCOMPARE(c.progressBar->value(), 25);
    QVERIFY(QTest::qWaitFor([&] { return c.progressBar->value() != 25; }, 5000));
    QVERIFY(c.progressBar->value() == 50 || !f.searching());
    c.stopButton->click();
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(c.searchTable->rowCount(), 0);
  }

  // "Стоп" acts at once, keeps what was found, and the dialog can be closed during a search.
  void stopKeepsResultsAndClosingEndsSearch() {
    auto sim = kalvort::test::startLoopbackSimulator(module());
    const uint32_t at = *Ipv4Edit::parse(QString::fromStdString(sim->Config().address));
    ScriptedDialogs dialogs;
    NetSettingsDialog f(dialogs);
    const Controls c(f);
    f.show();
    c.fromEdit->setAddress(Ipv4Edit::format(at));
    c.toEdit->setAddress(Ipv4Edit::format(at + 200));
    c.startButton->click();
    QVERIFY(QTest::qWaitFor([&] { return c.searchTable->rowCount() > 0; }, 5000));
    QVERIFY(QTest::qWaitFor([&] { return f.probing(); }, 2000));
    QElapsedTimer clock;
    clock.start();
    c.stopButton->click();
    QVERIFY(clock.elapsed() < 50);
    QVERIFY(!f.searching());
    QVERIFY(c.startButton->isEnabled());
    QCOMPARE(column(c.searchTable, 0).first(), Ipv4Edit::format(at));
    QVERIFY(waitSearchEnd(f));
    QCOMPARE(column(c.searchTable, 0).first(), Ipv4Edit::format(at));  // the stopped probe adds nothing
    const int kept = c.searchTable->rowCount();
    QTest::qWait(700);
    QCOMPARE(c.searchTable->rowCount(), kept);

    // A search running when the dialog is cancelled ends with it, its last probe returned.
    c.startButton->click();
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
