// Saving, opening and checking a project off the window's thread: while the work runs the window
// takes no input and the project shown stays as it was; one progress window serves the whole
// command and its bar is fed at most every 30 ms; a close or the window's end during a save never
// costs the file.

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
#include "window/DeviceController.h"
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
  // Starts "Сохранить проект" to `file` (an existing file is overwritten).
  void startSave(const QString &file) {
    dialogs.files = {file};
    dialogs.answers = {QMessageBox::Ok};
    ActionNamed(*window, "ProjectSaveAction")->trigger();
    QVERIFY(window->fileWork().running());
  }
  static int programsIn(const QString &file) {
    ProjectContent content;
    return ReadProjectContent(toPath(file), content) == ProjectError::None ? static_cast<int>(content.entries.size())
                                                                           : -1;
  }

 private slots:
  void init() { QVERIFY(openWindowConverting2C42()); }
  void cleanup() { closeWindow(); }

  // Until the written file's outcome is back, the window is disabled under the progress window
  // and the project keeps its name and its unsaved state.
  void saveRunsWithTheWindowDisabled() {
    addPrograms(3);
    const QString file = dir.filePath(QStringLiteral("цех.kvt"));
    startSave(file);
    QVERIFY(!window->isEnabled());
    QVERIFY(progress().isVisible());
    QCOMPARE(progress().caption(), QStringLiteral("Сохранить проект"));
    QCOMPARE(window->projectDocument().fileName(), QStringLiteral("Проект.kvt"));
    QVERIFY(window->projectDocument().changed());

    QVERIFY(WaitForFileWork(*window));
    QVERIFY(window->isEnabled());
    QVERIFY(!progress().isVisible());
    QCOMPARE(window->projectDocument().fileName(), file);
    QVERIFY(!window->projectDocument().changed());
    QCOMPARE(window->windowTitle(), QStringLiteral("Калворт v1.1.7 - ") + file);
    QCOMPARE(programsIn(file), 3);
  }

  // A close while the save runs waits for it: the file is whole, then the window closes as usual
  // (the project being saved, without a question).
  void closeDuringASaveClosesAfterIt() {
    addPrograms(20);
    window->show();
    const QString file = dir.filePath(QStringLiteral("close.kvt"));
    QFile old(file);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older project");
    old.close();
    startSave(file);
    QVERIFY(!window->close());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
    QVERIFY(!window->fileWork().running());
    QCOMPARE(programsIn(file), 20);
    QCOMPARE(dialogs.asked.size(), 1);  // the overwrite question only
  }

  // "Да" to the close question saves first; the window closes once the file is written.
  void closeAfterTheSaveItAskedFor() {
    addPrograms(20);
    window->show();
    const QString file = dir.filePath(QStringLiteral("asked.kvt"));
    dialogs.answers = {QMessageBox::Yes};
    dialogs.files = {file};
    QVERIFY(!window->close());
    QVERIFY(window->fileWork().running());
    QVERIFY(window->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 10000);
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Сохранить проект?"));
    QCOMPARE(programsIn(file), 20);
    QVERIFY(!window->deviceController().hasDevice());
  }

  // The window going away during a save lets the save end: the file is whole.
  void windowGoneDuringASaveLeavesTheWholeFile() {
    addPrograms(20);
    const QString file = dir.filePath(QStringLiteral("gone.kvt"));
    startSave(file);
    window->projectDocument().setChanged(false);
    window.reset();
    QCOMPARE(programsIn(file), 20);
  }

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
