// Checking a project off the window's thread: while the work runs the window takes no input and the
// project shown stays as it was; one progress window serves the whole command and its bar is fed
// at most every 30 ms.

#include <QAction>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "support/CatalogPrograms.h"
#include "dialogs/ProgressWindow.h"
#include "project/ProjectFile.h"
#include "support/AppTest.h"
#include "support/WindowFixture.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/DeviceCommands.h"
#include "window/FileWork.h"

using namespace kalvort;
using kalvort::apptest::ActionNamed;
using kalvort::apptest::WaitForFileWork;

namespace {

// Counts the times a widget is shown.
class ShowCounter : public QObject {
 public:
  explicit ShowCounter(QWidget &widget) { widget.installEventFilter(this); }
  int shows = 0;

 protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::Show) ++shows;
    return false;
  }
};

}  // namespace

class FileWorkTest : public QObject, kalvort::apptest::WindowFixture {
  Q_OBJECT

  QTemporaryDir dir;

  // `count` 2С42 text programs, none converted yet.
  void addPrograms(int count) {
    for (int i = 0; i < count; ++i) {
      TDevCatalogEntry e = kalvort::testing::TextEntry(i, static_cast<uint16_t>(i + 1), u"P", {u"G01 X1", u"M02"});
      QVERIFY(catalog().AddCatalogEntry(e));
    }
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, true);
    window->projectDocument().setChanged(true);
  }
  ProgressWindow &progress() { return window->deviceCommands().progressForm(); }
 private slots:
  void init() {
    QVERIFY(openWindow());
    window->projectDocument().setDeviceType(dtProg);
    window->projectDocument().options().processing.enabled = true;
    window->projectDocument().options().processing.project_type = 0;
  }
  void cleanup() { closeWindow(); }

  // "Проверить проект" on several programs: one progress window for all of them, the project as
  // it was until the conversions are over, then every program converted.
  void checkShowsOneProgressWindowForAllPrograms() {
    addPrograms(5);
    window->projectDocument().setChanged(false);
    ShowCounter counter(progress());
    ActionNamed(*window, "CheckAllFilesAction")->trigger();
    QVERIFY(!window->isEnabled());
    QVERIFY(!catalog().Catalog(0).file_bin_valid);
    QVERIFY(WaitForFileWork(*window));
    QCOMPARE(counter.shows, 1);
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Проверка прошла успешно."));
    for (int i = 0; i < 5; ++i) QVERIFY(catalog().Catalog(i).file_bin_valid);
    QVERIFY(window->projectDocument().changed());
    QVERIFY(window->isEnabled());
  }

  // A job that reports all the time feeds the bar at most once per 30 ms.
  void progressReachesTheBarAtMostEvery30Ms() {
    auto *bar = progress().findChild<QProgressBar *>(QStringLiteral("ProgressBar"));
    QVERIFY(bar);
    QSignalSpy changes(bar, &QProgressBar::valueChanged);
    QElapsedTimer clock;
    clock.start();
    window->fileWork().run<int>(
        QStringLiteral("Обработка..."), QString(),
        [](FileWork::Progress &progress) {
          QElapsedTimer busy;
          busy.start();
          for (int i = 0; busy.elapsed() < 300; ++i) progress.setPosition(1 + i % 99);
          return 0;
        },
        [](int &) {});
    QVERIFY(WaitForFileWork(*window));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(changes.size() >= 2, qPrintable(QString::number(changes.size())));
    QVERIFY2(changes.size() <= elapsed / 30 + 2, qPrintable(QStringLiteral("%1 in %2 ms").arg(changes.size()).arg(elapsed)));
  }
};

KALVORT_APP_TEST_MAIN(FileWorkTest)
#include "FileWorkTest.moc"
