// Device commands of the window against kalvort-cli: wall time of a project write and read of 20
// programs and of an image read on the virtual USB programmer (its default module), and the longest
// time the window's event loop was kept from running meanwhile. The window should take no more
// than 1.05 times the command line's time and never block its event loop for more than 25 ms.
//
// Usage: bench_device_commands [RUNS]   (offscreen; runs in a temporary folder)

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "EventLoopWatch.h"
#include "device/DevCatalog.h"
#include "project/ProjectFile.h"
#include "workflow/DeviceSession.h"
#include "support/ScriptedDialogs.h"
#include "window/DeviceCommands.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"

namespace {

using kalvort::bench::TimingApplication;
using kalvort::bench::waitUntil;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// 20 text programs of 2С42 (converted on every write) of about 60 lines each.
void fillProject(kalvort::TDevCatalog &catalog) {
  for (int p = 0; p < 20; ++p) {
    kalvort::TDevCatalogEntry e;
    e.cat_num = p;
    kalvort::StringToCatalogEntry(u"ПРОГРАММА-" + std::u16string(1, char16_t(u'А' + p)), e);
    auto text = std::make_shared<kalvort::ProgramText>();
    text->push_back(u"%");
    for (int l = 1; l <= 60; ++l) {
      const std::string line = "N" + std::to_string(l) + " G01 X" + std::to_string(100 + l * 7) + " Z-" +
                               std::to_string(l * 3) + " F" + std::to_string(200 + p);
      text->push_back(std::u16string(line.begin(), line.end()));
    }
    text->push_back(u"M02");
    e.text = text;
    e.need_p_proc = true;
    e.file_txt_valid = true;
    catalog.AddCatalogEntry(e);
  }
}

double cliSeconds(const QStringList &args) {
  QElapsedTimer t;
  t.start();
  QProcess cli;
  cli.start(QStringLiteral(KALVORT_CLI_PATH), args);
  cli.waitForFinished(600000);
  if (cli.exitCode() != 0) std::fprintf(stderr, "kalvort-cli failed: %s\n", cli.readAllStandardError().constData());
  return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char **argv) {
  QTemporaryDir root;
  kalvort::bench::UseTemporaryFolders(root.path());
  TimingApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;

  ScriptedDialogs dialogs;
  MainWindow window(dialogs);
  window.show();
  waitUntil([&] { return window.deviceController().hasDevice() && window.deviceController().connected(); });
  const QString project = root.path() + "/bench.kvt";
  const QString image = root.path() + "/image.bin";
  {
    kalvort::TDevCatalog catalog;
    fillProject(catalog);
    kalvort::ProjectOptions options;
    options.DeviceType = kalvort::dtProg;
    kalvort::SaveProjectFile(project.toStdString(), &catalog, options);
  }

  struct Row {
    const char *name;
    std::vector<double> window, cli, block;
  };
  Row rows[] = {{"write project (20 programs)", {}, {}, {}},
                {"read project (20 programs)", {}, {}, {}},
                {"read image", {}, {}, {}}};
  for (int r = 0; r < runs; ++r) {
    for (int c = 0; c < 3; ++c) {
      kalvort::TDevCatalog &device = window.projectDocument().programs();
      if (c == 0) {
        device.CatalogClear();
        fillProject(device);  // the texts are converted again on each write, as on the command line
        dialogs.answers = {QMessageBox::Yes};
      } else if (c == 1) {
        // The write left the project changed: the read asks to save it first; "Нет" goes on.
        dialogs.answers = {QMessageBox::No};
      } else if (c == 2) {
        dialogs.files = {image};
        dialogs.answers = {QMessageBox::Ok};
      }
      waitUntil([&] { return window.deviceController().polling(); });
      QElapsedTimer t;
      app.startWatch();
      t.start();
      if (c == 0) window.deviceCommands().DeviceBurnActionExecute();
      if (c == 1) window.deviceCommands().DeviceRereadActionExecute();
      if (c == 2) window.deviceCommands().DeviceReadImageActionExecute();
      waitUntil([&] { return !window.deviceController().commandRunning(); });
      rows[c].window.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
      rows[c].block.push_back(app.longestMs());
      if (!dialogs.asked.isEmpty() && dialogs.asked.last().title == QStringLiteral("Ошибка"))
        std::fprintf(stderr, "window: %s\n", qPrintable(dialogs.asked.last().text));
      dialogs.asked.clear();

      const QStringList args = c == 0   ? QStringList{"device", "--usb", "write-project", project}
                               : c == 1 ? QStringList{"device", "--usb", "read-project", root.path() + "/read.kvt"}
                                        : QStringList{"device", "--usb", "read-image", image};
      // The module file is shared: the window's device must not be polling meanwhile.
      window.deviceController().stopPolling();
      rows[c].cli.push_back(cliSeconds(args));
      window.deviceController().startPolling();
    }
  }
  std::printf("%-30s %10s %10s %7s %16s\n", "command", "window s", "cli s", "ratio", "longest block ms");
  for (const Row &row : rows) {
    const double w = median(row.window), c = median(row.cli);
    std::printf("%-30s %10.3f %10.3f %7.3f %16.1f\n", row.name, w, c, w / c,
                *std::max_element(row.block.begin(), row.block.end()));
  }
  return 0;
}
