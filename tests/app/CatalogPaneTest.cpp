// The catalog pane on a project document of its own, without a window: its commands read the
// options, the slot numbering and the current entry from the document, and say what the window
// has to do by signals, the entry to make current before the rows that show it are selected.

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <memory>

#include "dialogs/FilePropertiesDialog.h"
#include "support/AppTest.h"
#include "support/CatalogPrograms.h"
#include "support/ScriptedDialogs.h"
#include "window/CatalogPane.h"
#include "window/ProjectDocument.h"

using namespace kalvort;

class CatalogPaneTest : public QObject {
  Q_OBJECT

  ScriptedDialogs dialogs;
  std::unique_ptr<ProjectDocument> document;
  QStringList heard;  // the pane's signals, in order
  std::unique_ptr<CatalogPane> pane;

  TDevCatalog &catalog() { return document->programs(); }

  void add(int cat_num, uint16_t prog_num, const char16_t *name) {
    TDevCatalogEntry e = testing::TextEntry(cat_num, prog_num, name, {u"G01"});
    QVERIFY(catalog().AddCatalogEntry(e));
  }

  QString nameOf(int index) { return QString::fromStdU16String(ByteArrayToString(catalog().Catalog(index).code, 128)); }

 private slots:
  void init() {
    dialogs = ScriptedDialogs();
    document = std::make_unique<ProjectDocument>();
    document->setDeviceType(dtSMP2C42);  // no НЦ-31 slot numbering
    heard.clear();
    pane = std::make_unique<CatalogPane>(*document, dialogs);
    connect(pane.get(), &CatalogPane::currentEntryChosen, this, [this](int index) {
      document->setCurrentEntryIndex(index);
      heard << QStringLiteral("current %1").arg(index);
    });
    connect(pane.get(), &CatalogPane::selectionChanged, this, [this] { heard << QStringLiteral("selection"); });
    connect(pane.get(), &CatalogPane::edited, this, [this] { heard << QStringLiteral("edited"); });
  }
  void cleanup() {
    pane.reset();
    document.reset();
  }

  // Up exchanges slots with the program above; the program numbers go along where the catalog is
  // numbered by them. The options are changed after the pane was made: it reads them when it moves.
  void moveUpFollowsTheNumbering_data() {
    QTest::addColumn<bool>("nc31Slots");
    QTest::addColumn<int>("projectType");
    QTest::addColumn<bool>("keepNumbers");
    QTest::addColumn<bool>("numbersMove");
    QTest::newRow("2С42 keeping numbers") << false << 0 << true << false;
    QTest::newRow("2С42 renumbering") << false << 0 << false << true;
    QTest::newRow("НЦ-31 slots") << true << 1 << true << true;
    QTest::newRow("other type") << false << 1 << false << false;
  }
  void moveUpFollowsTheNumbering() {
    QFETCH(bool, nc31Slots);
    QFETCH(int, projectType);
    QFETCH(bool, keepNumbers);
    QFETCH(bool, numbersMove);
    add(0, 1, u"a");
    add(1, 2, u"b");
    pane->refresh();
    pane->selectRows(1, 1, false);
    document->setDeviceType(nc31Slots ? dtProg : dtSMP2C42);  // the USB programmer numbers НЦ-31 slots
    document->options().processing.project_type = projectType;
    document->options().keep_program_numbers = keepNumbers;

    apptest::ActionNamed(*pane, "FileUpCatalog")->trigger();
    QCOMPARE(catalog().Catalog(1).cat_num, 0);
    QCOMPARE(catalog().Catalog(0).cat_num, 1);
    QCOMPARE(int(catalog().Catalog(1).prog_num), numbersMove ? 1 : 2);
    QCOMPARE(int(catalog().Catalog(0).prog_num), numbersMove ? 2 : 1);
    // The moved program is made current before its row's selection is announced.
    QCOMPARE(heard, (QStringList{"current 1", "selection", "edited"}));
    QCOMPARE(pane->selectedRows(), QList<int>{0});
    QCOMPARE(pane->selectedEntry(), 1);
  }

  // Giving the current program the number of a taken slot replaces the program there: the current
  // entry follows its program to the index it is stored at now, and that row is selected.
  void propertiesReplacementKeepsTheCurrentProgramSelected() {
    document->setDeviceType(dtProg);
    document->options().processing.project_type = 1;  // НЦ-31 slots
    add(0, 13, u"a");
    add(1, 14, u"b");
    add(2, 15, u"c");
    pane->refresh();
    document->setCurrentEntryIndex(2);
    pane->selectRows(2, 2, false);
    auto *timer = new QTimer(pane.get());
    timer->setInterval(5);
    connect(timer, &QTimer::timeout, pane.get(), [this, timer] {
      auto *form = pane->findChild<FilePropertiesDialog *>();  // made when first shown
      if (!form || !form->isVisible()) return;
      timer->stop();
      form->findChild<QLineEdit *>(QStringLiteral("numberEdit"))->setText(QStringLiteral("13"));
      form->findChild<QPushButton *>(QStringLiteral("okButton"))->click();
    });
    timer->start();
    dialogs.answers = {QMessageBox::Ok};  // replace

    apptest::ActionNamed(*pane, "FilePropCatalog")->trigger();
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Программа с таким номером существует.\nЗаменить?"));
    QCOMPARE(catalog().CatalogCount(), 2);
    QCOMPARE(nameOf(0), QStringLiteral("c"));
    QCOMPARE(catalog().Catalog(0).cat_num, 0);
    QCOMPARE(document->currentEntryIndex(), 0);
    QCOMPARE(heard, (QStringList{"current 0", "selection", "edited"}));
    QCOMPARE(pane->selectedRows(), QList<int>{0});
    QCOMPARE(pane->selectedEntry(), 0);
  }
};

KALVORT_APP_TEST_MAIN(CatalogPaneTest)
#include "CatalogPaneTest.moc"
