// The project commands of the window on a big project: "Открыть проект", "Сохранить проект" and
// "Проверить проект" on PROGRAMS 2С42 programs with texts and binaries, run through the window's
// actions with scripted file dialogs. For each: the wall time, the longest time one event kept the
// window's event loop from running, and how often the progress window's bar was painted and the
// progress window shown. The yardstick is the core doing the same work without the window (read,
// write, the conversions), timed in the same run.
//
// Goals: the window's thread never blocked more than 50 ms in one event; one progress window per
// command; the bar painted at most once per 30 ms.
//
// Usage: bench_project_commands [PROGRAMS]   (default 10000; offscreen; runs in a temporary folder)

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

#include "EventLoopWatch.h"
#include "dialogs/ProgressWindow.h"
#include "formats/PostProcess.h"
#include "project/ProjectFile.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceCommands.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "workflow/ProjectTransfer.h"

namespace {

using kalvort::bench::TimingApplication;
using kalvort::bench::waitUntil;

// Counts the progress window's showings and the paints of its bar.
class ProgressWatch : public QObject {
 public:
  explicit ProgressWatch(ProgressWindow &form)
      : form_(form), bar_(form.findChild<QProgressBar *>(QStringLiteral("ProgressBar"))) {
    qApp->installEventFilter(this);
  }
  void reset() { paints = shows = 0; }
  int paints = 0, shows = 0;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (event->type() == QEvent::Paint && watched == bar_) ++paints;
    if (event->type() == QEvent::Show && watched == &form_) ++shows;
    return false;
  }

 private:
  ProgressWindow &form_;
  QProgressBar *bar_;
};

// A 2С42 program of 60 to 120 lines: a header, moves with coordinates and feeds, an end.
std::shared_ptr<kalvort::ProgramText> programText(int seed) {
  auto text = std::make_shared<kalvort::ProgramText>();
  text->push_back(u"%");
  const int lines = 60 + seed % 61;
  for (int l = 1; l <= lines; ++l) {
    const std::string line = "N" + std::to_string(l) + " G0" + std::to_string(l % 4) + " X" +
                             std::to_string((seed * 37 + l * 11) % 5000) + " Z-" + std::to_string((l * 7 + seed) % 300) +
                             " F" + std::to_string(100 + (seed + l) % 400);
    text->push_back(std::u16string(line.begin(), line.end()));
  }
  text->push_back(u"M02");
  return text;
}

// `programs` text programs, each converted so that it has its binary too.
bool fillProject(kalvort::TDevCatalog &catalog, int programs, const kalvort::PostProcessOptions &options) {
  catalog.SetMaxProgNum(programs);
  for (int p = 0; p < programs; ++p) {
    kalvort::TDevCatalogEntry e;
    e.cat_num = p;
    kalvort::StringToCatalogEntry(u"ДЕТАЛЬ-" + std::u16string(1, char16_t(u'А' + p % 32)), e);
    e.text = programText(p);
    e.need_p_proc = true;
    e.file_txt_valid = true;
    if (!catalog.AddCatalogEntry(e)) return false;
    if (!kalvort::RunWritePostprocess(catalog, catalog.CatalogCount() - 1, options)) return false;
  }
  return true;
}

double msSince(const QElapsedTimer &t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char **argv) {
  QTemporaryDir root;
  kalvort::bench::UseTemporaryFolders(root.path());
  TimingApplication app(argc, argv);
  const int programs = argc > 1 ? std::clamp(atoi(argv[1]), 1, static_cast<int>(kalvort::kMaxProjectEntries)) : 10000;

  ScriptedDialogs dialogs;
  MainWindow window(dialogs);
  window.show();
  waitUntil([&] { return window.deviceController().hasDevice() && !window.deviceController().creationPending(); });
  ProjectDocument &document = window.projectDocument();
  document.options().processing.enabled = true;
  document.options().processing.project_type = 0;
  const kalvort::PostProcessOptions convert = kalvort::PostProcessOptionsFor(document.options());

  const QString file = root.path() + "/shop.kvt";
  const QString saved = root.path() + "/saved.kvt";
  kalvort::ProjectOptions file_options;
  file_options.DeviceType = kalvort::dtProg;
  {
    kalvort::TDevCatalog project;
    if (!fillProject(project, programs, convert) ||
        kalvort::SaveProjectFile(file.toStdString(), &project, file_options) != kalvort::ProjectError::None) {
      std::fprintf(stderr, "could not build the project of %d programs\n", programs);
      return 1;
    }
  }

  // The yardstick: the core alone on the same file and programs.
  double core_open = 0, core_save = 0, core_check = 0;
  {
    kalvort::TDevCatalog project;
    project.SetMaxProgNum(programs);
    kalvort::ProjectOptions options = file_options;
    QElapsedTimer t;
    t.start();
    kalvort::OpenProjectFile(file.toStdString(), project, options);
    core_open = msSince(t);
    t.restart();
    kalvort::SaveProjectFile((root.path() + "/core.kvt").toStdString(), &project, options);
    core_save = msSince(t);
    for (int i = 0; i < project.CatalogCount(); ++i) project.FileBinValidClear(i);
    t.restart();
    for (int i = 0; i < project.CatalogCount(); ++i) kalvort::RunWritePostprocess(project, i, convert);
    core_check = msSince(t);
  }

  ProgressWatch watch(window.deviceCommands().progressForm());
  QAction *open_action = window.findChild<QAction *>(QStringLiteral("ProjectOpenAction"));
  QAction *save_action = window.findChild<QAction *>(QStringLiteral("ProjectSaveAction"));
  QAction *check_action = window.findChild<QAction *>(QStringLiteral("CheckAllFilesAction"));
  struct Row {
    const char *name;
    double core_ms, wall_ms = 0, block_ms = 0;
    int paints = 0, shows = 0;
  };
  // Each command is started from the event loop, as a click would, and is over when its outcome
  // shows and the window takes input again.
  const auto run = [&](Row &row, QAction *action, const std::function<bool()> &over) {
    watch.reset();
    QElapsedTimer t;
    app.startWatch();
    t.start();
    QTimer::singleShot(0, action, &QAction::trigger);
    waitUntil([&] { return over() && window.isEnabled(); });
    row.wall_ms = msSince(t);
    row.block_ms = app.longestMs();
    row.paints = watch.paints;
    row.shows = watch.shows;
  };

  Row open{"Открыть проект", core_open}, save{"Сохранить проект", core_save}, check{"Проверить проект", core_check};
  // The catalog takes the whole file.
  document.programs().SetMaxProgNum(programs);
  dialogs.files = {file};
  run(open, open_action, [&] {
    return document.fileName() == file && document.programs().CatalogCount() == programs;
  });
  dialogs.files = {saved};
  run(save, save_action, [&] { return document.fileName() == saved; });
  for (int i = 0; i < document.programs().CatalogCount(); ++i) document.programs().FileBinValidClear(i);
  dialogs.asked.clear();
  run(check, check_action, [&] { return !dialogs.asked.isEmpty(); });
  if (dialogs.asked.value(0).text != QStringLiteral("Проверка прошла успешно."))
    std::fprintf(stderr, "check: %s\n", qPrintable(dialogs.asked.value(0).text));

  std::printf("%d programs\n", programs);
  std::printf("%-18s %9s %9s %7s %17s %7s %6s\n", "command", "window ms", "core ms", "ratio", "longest block ms",
              "paints", "shows");
  for (const Row *row : {&open, &save, &check}) {
    std::printf("%-18s %9.0f %9.0f %7.2f %17.1f %7d %6d\n", qPrintable(QString::fromUtf8(row->name).leftJustified(16)),
                row->wall_ms, row->core_ms, row->wall_ms / row->core_ms, row->block_ms, row->paints, row->shows);
  }
  std::printf("goals: longest block at most 50 ms; at most one show per command; paints at most one per 30 ms "
              "(wall ms / 30 + 2)\n");
  window.close();
  return 0;
}
