// A 1,000,000-line program in the window's editor: how long it takes to show, the memory it costs
// per byte of text, and the longest time the window's thread is kept from running while the
// program is shown, scrolled, edited, searched, replaced in and confirmed, and while another
// program is shown and this one again. A plain QPlainTextEdit given the same text, in a process of
// its own, is the yardstick for the time to show, the memory and a search step.
//
// Goals: shown within 1.5 s; at most 30 bytes of memory per byte of text; no single event of the
// window's thread longer than 50 ms; confirm within 100 ms; a find step within 50 ms; replacing
// 125,000 hits within 1 s.
//
// Usage: bench_big_program [LINES]   (default 1000000; offscreen; runs in a temporary folder)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

#include "EventLoopWatch.h"
#include "device/DevCatalog.h"
#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "window/ProjectDocument.h"

namespace {

using kalvort::bench::TimingApplication;
using kalvort::bench::waitUntil;

TimingApplication *g_app = nullptr;

struct Step {
  double seconds = 0;
  double longest_ms = 0;
};

// Runs `work` as an event of the window's thread, then waits for `done`: the time to `done` and
// the longest event meanwhile.
Step timed(const std::function<void()> &work, const std::function<bool()> &done = [] { return true; }) {
  QElapsedTimer t;
  g_app->startWatch();
  t.start();
  bool ran = false;
  QMetaObject::invokeMethod(
      g_app,
      [&] {
        work();
        ran = true;
      },
      Qt::QueuedConnection);
  waitUntil([&] { return ran && done(); });
  return {static_cast<double>(t.nsecsElapsed()) / 1e9, g_app->longestMs()};
}

// Resident memory in bytes.
double residentBytes() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toDouble() * static_cast<double>(sysconf(_SC_PAGESIZE)) : 0;
}

// Lines of a lathe table: "X1234Z3", one line in eight ends in "Z3".
QString lineText(int i) { return QStringLiteral("X%1Z%2").arg(i % 10000).arg(i % 8); }

std::shared_ptr<kalvort::ProgramText> programText(int lines, qsizetype &bytes) {
  auto text = std::make_shared<kalvort::ProgramText>();
  text->reserve(static_cast<size_t>(lines));
  bytes = 0;
  for (int i = 0; i < lines; ++i) {
    const QString line = lineText(i);
    bytes += line.size() + 1;
    text->emplace_back(reinterpret_cast<const char16_t *>(line.utf16()), static_cast<size_t>(line.size()));
  }
  return text;
}

// The yardstick, in a process of its own: QPlainTextEdit::setPlainText of the same text.
int runYardstick(int lines) {
  QString text;
  for (int i = 0; i < lines; ++i) {
    if (i) text += QLatin1Char('\n');
    text += lineText(i);
  }
  QPlainTextEdit edit;
  edit.resize(800, 600);
  edit.show();
  const double before = residentBytes();
  const Step show = timed([&] { edit.setPlainText(text); });
  const double per_byte = (residentBytes() - before) / static_cast<double>(text.size());
  edit.moveCursor(QTextCursor::Start);
  const Step find = timed([&] { edit.find(QStringLiteral("X9999Z7")); });
  std::printf("%.4f %.2f %.4f\n", show.seconds, per_byte, find.seconds);
  return 0;
}

void report(const char *what, const Step &s, const char *goal) {
  std::printf("%-44s %9.3f s  longest block %8.1f ms   %s\n", what, s.seconds, s.longest_ms, goal);
}

}  // namespace

int main(int argc, char **argv) {
  const bool yardstick = argc > 1 && QByteArray(argv[1]) == "--yardstick";
  const int lines = argc > (yardstick ? 2 : 1) ? std::max(1000, atoi(argv[yardstick ? 2 : 1])) : 1000000;
  QTemporaryDir root;
  kalvort::bench::UseTemporaryFolders(root.path());
  TimingApplication app(argc, argv);
  g_app = &app;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (yardstick) return runYardstick(lines);

  ScriptedDialogs dialogs;
  MainWindow window(dialogs);
  window.resize(1200, 800);
  window.show();
  waitUntil([&] { return window.isVisible(); });
  CodeEditor *editor = window.findChild<CodeEditor *>(QStringLiteral("EditorWidget"));
  CatalogPane &catalog = window.catalogPane();

  const double before = residentBytes();
  qsizetype bytes = 0;
  {
    kalvort::TDevCatalog &programs = window.projectDocument().programs();
    kalvort::TDevCatalogEntry big;
    big.cat_num = 1;
    kalvort::StringToCatalogEntry(u"ТАБЛИЦА", big);
    big.text = programText(lines, bytes);
    big.file_txt_valid = true;
    programs.AddCatalogEntry(big);
    kalvort::TDevCatalogEntry small;
    small.cat_num = 2;
    kalvort::StringToCatalogEntry(u"МАЛАЯ", small);
    small.text = std::make_shared<kalvort::ProgramText>(kalvort::ProgramText{u"%", u"G01 X1", u"M02"});
    small.file_txt_valid = true;
    programs.AddCatalogEntry(small);
    catalog.refresh();
  }
  const double project_bytes = residentBytes() - before;
  auto shownLines = [&](int n) {
    return [=] { return editor->blockCount() == n && editor->work() == CodeEditor::Work::None; };
  };
  auto rowOf = [&](int cat_num) {
    for (int row = 0; row < catalog.model().rowCount(); ++row) {
      const int entry = catalog.entryAt(row);
      if (entry >= 0 && window.projectDocument().programs().Catalog(entry).cat_num == cat_num) return row;
    }
    return -1;
  };
  const int big_row = rowOf(1), small_row = rowOf(2);

  std::printf("program of %d lines, %lld bytes of text\n", lines, static_cast<long long>(bytes));
  // The first screen of lines is there long before the whole text.
  QElapsedTimer since_select;
  double first_screen = 0;
  const Step show = timed(
      [&] {
        since_select.start();
        catalog.selectRows(big_row, big_row, true);
      },
      [&] {
        if (first_screen == 0 && editor->blockCount() > 100) first_screen = since_select.nsecsElapsed() / 1e9;
        return shownLines(lines)();
      });
  const double per_byte = (residentBytes() - before - project_bytes) / static_cast<double>(bytes);
  report("show (all lines in, editable)", show, "goal 1.5 s, 50 ms");
  std::printf("  first screen of lines after %.3f s\n", first_screen);
  report("scroll to the middle, the end, the start", timed([&] {
           QScrollBar *bar = editor->verticalScrollBar();
           for (int v : {bar->maximum() / 2, bar->maximum(), 0}) {
             bar->setValue(v);
             editor->viewport()->repaint();
           }
         }),
         "goal 50 ms");
  report("type a character in the middle", timed([&] {
           QTextCursor c(editor->document()->findBlockByNumber(lines / 2));
           editor->setTextCursor(c);
           editor->insertPlainText(QStringLiteral("Y"));
         }),
         "goal 50 ms");
  editor->moveCursor(QTextCursor::Start);
  Step find;
  for (int i = 0; i < 5; ++i) {
    const Step s = timed([&] { editor->findText(QStringLiteral("X9999Z7"), true, false); });
    find.seconds = std::max(find.seconds, s.seconds);
    find.longest_ms = std::max(find.longest_ms, s.longest_ms);
  }
  report("find, slowest of 5 steps", find, "goal 50 ms a step");
  report("find a text that is not there (whole text)",
         timed([&] { editor->findText(QStringLiteral("Y0Z0"), true, false); }), "goal 50 ms a step");
  int replaced = 0;
  report("replace all \"Z3\" by \"Z9\"",
         timed([&] { replaced = editor->replaceAll(QStringLiteral("Z3"), QStringLiteral("Z9"), true); },
               [&] { return replaced > 0 && editor->work() == CodeEditor::Work::None; }),
         "goal 1 s, 50 ms");
  std::printf("  %d replaced\n", replaced);
  dialogs.answers = {QMessageBox::Ok};
  report("confirm", timed([&] {
           for (QAction *a : window.findChildren<QAction *>())
             if (a->objectName() == QLatin1String("EditorOkAction")) a->trigger();
         }),
         "goal 100 ms, 50 ms");
  report("show another program", timed([&] { catalog.selectRows(small_row, small_row, true); }, shownLines(3)),
         "goal 50 ms");
  report("show the big one again", timed([&] { catalog.selectRows(big_row, big_row, true); }, shownLines(lines)),
         "goal 1.5 s, 50 ms");

  QProcess plain;
  plain.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--yardstick"), QString::number(lines)});
  plain.waitForFinished(600000);
  const QList<QByteArray> y = plain.readAllStandardOutput().trimmed().split(' ');
  if (y.size() == 3) {
    std::printf("memory per byte of text: %.1f (QPlainTextEdit %.1f, ratio %.2f)   goal 30\n", per_byte,
                y[1].toDouble(), per_byte / y[1].toDouble());
    std::printf("show: %.3f s (QPlainTextEdit %.3f s, ratio %.2f); find step: %.4f s (QPlainTextEdit %.4f s, ratio %.2f)\n",
                show.seconds, y[0].toDouble(), show.seconds / y[0].toDouble(), find.seconds, y[2].toDouble(),
                find.seconds / y[2].toDouble());
  } else {
    std::printf("yardstick failed\n");
  }
  return 0;
}
