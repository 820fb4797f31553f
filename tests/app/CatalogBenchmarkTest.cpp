// Timings of the catalog list and the editor on the largest projects and programs: opening a full
// НЦ-31 project of an mptMP8000 module (987 programs of 4408 bytes with texts) up to the filled
// list, filling the list alone, and showing a 32 KB 2С42 program as text and as a hex dump.
// Prints the figures; fails only far beyond the goals (300, 50, 50 and 50 ms), so that a slow or
// instrumented build does not turn a timing into a false failure.

#include <QAction>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"
#include "widgets/QtText.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "window/ProjectCommands.h"
#include "formats/PostProcess.h"
#include "project/ProjectFile.h"
#include "support/AppTest.h"
#include "support/EditorWidgets.h"
#include "support/WindowFixture.h"
#include "workflow/DeviceSession.h"
#include "workflow/ProjectTransfer.h"

using namespace kalvort;

namespace {

constexpr int kFullCatalog = 987;

// Blocks of about 22 characters (four НЦ-31 words each) up to `chars` characters with CR LF.
ProgramText programText(size_t chars, int seed) {
  ProgramText lines;
  size_t total = 0;
  for (int n = 0; total < chars; ++n) {
    const std::string l = "G1 X" + std::to_string((seed * 37 + n * 11) % 5000) + " Z-" +
                          std::to_string((n * 7 + seed) % 300) + " F" + std::to_string(100 + n % 50);
    total += l.size() + 2;
    lines.emplace_back(l.begin(), l.end());
  }
  return lines;
}

double median(QList<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

class CatalogBenchmarkTest : public QObject, kalvort::apptest::WindowFixture {
  Q_OBJECT

  QTemporaryDir dir;

 private slots:
  void init() { QVERIFY(openWindow()); }
  void cleanup() { closeWindow(); }

  void fullNc31ProjectOpensAndFills() {
    window->projectDocument().setDeviceType(dtProg);
    window->projectDocument().options().processing.enabled = true;
    window->projectDocument().options().processing.project_type = 1;
    PostProcessOptions nc31;
    nc31.processor_type = 1;
    SetCatalogCapacity(catalog(), dtProg, nc31, mptMP8000);
    QCOMPARE(catalog().MaxProgNum(), kFullCatalog);

    TDevCatalog project;
    SetCatalogCapacity(project, dtProg, nc31, mptMP8000);
    for (int i = 0; i < kFullCatalog; ++i) {
      TDevCatalogEntry e;
      e.cat_num = i;
      e.prog_num = static_cast<uint16_t>(13 + i);
      StringToCatalogEntry(u"Программа " + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)), e);
      e.text = std::make_shared<ProgramText>(programText(3072, i));
      e.need_p_proc = e.file_txt_valid = true;
      QVERIFY(project.AddCatalogEntry(e));
      QVERIFY(RunWritePostprocess(project, i, nc31));
      QCOMPARE(project.Catalog(i).prog_size, 4408u);
    }
    const QString file = dir.filePath("full.kvt");
    ProjectOptions options;
    options.DeviceType = dtProg;
    options.processing.project_type = 1;
    QCOMPARE(SaveProjectFile(toPath(file), &project, options), ProjectError::None);

    QList<double> open, fill;
    for (int round = 0; round < 3; ++round) {
      window->projectCommands().resetProject();
      dialogs.files = {file};
      QElapsedTimer t;
      t.start();
      apptest::ActionNamed(*window, "ProjectOpenAction")->trigger();
      QVERIFY(apptest::WaitForFileWork(*window));
      open << t.nsecsElapsed() / 1e6;
      QCOMPARE(window->catalogPane().model().rowCount(), kFullCatalog);
      t.restart();
      window->catalogPane().refresh();
      fill << t.nsecsElapsed() / 1e6;
    }
    QVERIFY(dialogs.asked.isEmpty());
    qInfo("open of %d programs to the filled list: %.1f ms (goal 300); list refresh: %.1f ms (goal 50)",
          kFullCatalog, median(open), median(fill));
    QVERIFY(median(open) < 3000);
    QVERIFY(median(fill) < 500);
  }

  void program32KbShownAsTextAndAsHex() {
    TDevCatalogEntry e;
    e.cat_num = 0;
    e.prog_num = 1;
    StringToCatalogEntry(u"32K", e);
    e.text = std::make_shared<ProgramText>(programText(34000, 1));
    e.need_p_proc = e.file_txt_valid = true;
    QVERIFY(catalog().AddCatalogEntry(e));
    PostProcessOptions c42;
    c42.del_space = false;
    QVERIFY(RunWritePostprocess(catalog(), 0, c42));
    const uint32_t size = catalog().Catalog(0).prog_size;
    QVERIFY(size > 30000 && size <= 32768);
    window->catalogPane().refresh();

    QList<double> text, hex;
    for (int round = 0; round < 5; ++round) {
      apptest::ActionNamed(*window, "HexViewAction")->setChecked(false);
      QElapsedTimer t;
      t.start();
      window->catalogPane().selectRows(0, 0, true);
      text << t.nsecsElapsed() / 1e6;
      QCOMPARE(apptest::EditorOf(*window)->blockCount(), int(e.text->size()));
      apptest::ActionNamed(*window, "HexViewAction")->setChecked(true);
      t.restart();
      window->catalogPane().selectRows(0, 0, true);
      hex << t.nsecsElapsed() / 1e6;
      QCOMPARE(apptest::EditorOf(*window)->blockCount(), int((size + 15) / 16));
    }
    apptest::ActionNamed(*window, "HexViewAction")->setChecked(false);
    qInfo("%u-byte 2C42 program shown as text: %.1f ms, as hex: %.1f ms (goal 50 each)", size, median(text),
          median(hex));
    QVERIFY(median(text) < 500);
    QVERIFY(median(hex) < 500);
  }
};

KALVORT_APP_TEST_MAIN(CatalogBenchmarkTest)
#include "CatalogBenchmarkTest.moc"
