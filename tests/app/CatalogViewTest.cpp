// The catalog list and its commands, and the project commands, on a window with the virtual
// USB programmer.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <sys/stat.h>

#include "dialogs/FilePropertiesDialog.h"
#include "dialogs/SettingsDialog.h"
#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"
#include "widgets/QtText.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "base/CodePage.h"
#include "support/AppTest.h"
#include "support/DialogWidgets.h"
#include "support/EditorWidgets.h"
#include "window/EditorPane.h"
#include "support/CatalogPrograms.h"
#include "support/WindowFixture.h"
#include "project/ProjectFile.h"
#include "workflow/DeviceSession.h"

using namespace kalvort;
using kalvort::apptest::NamedChild;

namespace {

// The catalog pane's file properties dialog.
FilePropertiesDialog *PropForm(MainWindow &window) { return window.findChild<FilePropertiesDialog *>(); }

// The dialog's widgets, by their object names.
template <class T>
T *Field(FilePropertiesDialog &form, const char *name) {
  return form.findChild<T *>(QString::fromLatin1(name));
}

// Answers the next showings of the file properties dialog, one function per showing.
void AnswerPropDialogs(MainWindow &window, QList<std::function<void(FilePropertiesDialog &)>> answers) {
  auto *timer = new QTimer(&window);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, &window, [&window, timer, answers]() mutable {
    FilePropertiesDialog *form = PropForm(window);  // made when first shown
    if (!form || !form->isVisible()) return;
    auto answer = answers.takeFirst();
    answer(*form);
    if (form->isVisible()) Field<QPushButton>(*form, "okButton")->click();
    if (answers.isEmpty()) timer->deleteLater();
  });
  timer->start();
}

QString cell(const MainWindow &w, int row, int column) {
  return w.catalogPane().model().cellText(row, column);
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) {
  const QString path = dir.filePath(name);
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(bytes);
  return path;
}

TDevCatalogEntry textEntry(int cat_num, uint16_t prog_num, const char16_t *name, ProgramText lines = {u"G01"}) {
  return kalvort::testing::TextEntry(cat_num, prog_num, name, std::move(lines));
}

}  // namespace

class CatalogViewTest : public QObject, kalvort::apptest::WindowFixture {
  Q_OBJECT

  QTemporaryDir dir;

  void add(TDevCatalogEntry e) {
    QVERIFY(catalog().AddCatalogEntry(e));
  }

  // Runs a catalog command as its menu item does.
  void run(const char *name) {
    apptest::ActionNamed(*window, name)->trigger();
    QVERIFY(apptest::WaitForFileWork(*window));
  }
  // Runs a command the command rules disable here: the command itself must do nothing.
  void runEvenIfDisabled(const char *name) {
    QAction *command = apptest::ActionNamed(*window, name);
    command->setEnabled(true);
    command->trigger();
  }

 private slots:
  void init() { QVERIFY(openWindow()); }
  void cleanup() { closeWindow(); }

  void emptyCatalogShowsOneEmptyRow() {
    QCOMPARE(window->catalogPane().model().rowCount(), 1);
    QCOMPARE(window->catalogPane().model().columnCount(), 7);
    QCOMPARE(window->catalogPane().model().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Разм.текст"));
    auto *list = window->findChild<QTableView *>(QStringLiteral("CatalogTable"));
    QCOMPARE(list->columnWidth(2), 116);
    // A header title is never cut: "Разм.текст" is wider than its listed 60 pixels.
    QVERIFY(list->columnWidth(3) >= list->horizontalHeader()->sectionSizeHint(3));
    QVERIFY(cell(*window, 0, 0).isEmpty());
    QVERIFY(apptest::EditorOf(*window)->isReadOnly());
    for (const char *name : {"RemFileFromCatalog", "FileUpCatalog", "FileDownCatalog", "FilePropCatalog"})
      runEvenIfDisabled(name);
    QVERIFY(dialogs.asked.isEmpty());
    QVERIFY(!window->projectDocument().changed());
  }

  void listInSlotOrderFirstOfARepeatedSlot() {
    add(textEntry(1, 2, u"second"));
    add(textEntry(0, 1, u"first"));
    add(textEntry(1, 3, u"twin"));
    window->catalogPane().refresh();
    QCOMPARE(window->catalogPane().model().rowCount(), 2);
    QCOMPARE(cell(*window, 0, 0), QStringLiteral(" 1"));
    QCOMPARE(cell(*window, 0, 2), QStringLiteral("first"));
    QCOMPARE(cell(*window, 1, 2), QStringLiteral("second"));
    QCOMPARE(cell(*window, 1, 5), QStringLiteral("Да"));
    // Russian dates whatever the desktop's locale.
    const QString date = cell(*window, 0, 6);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4} \\d{1,2}:\\d\\d:\\d\\d$")).match(date).hasMatch(),
             qPrintable(date));
    QCOMPARE(window->catalogPane().entryAt(1), 0);
    window->catalogPane().selectRows(1, 1, true);
    QCOMPARE(window->projectDocument().currentEntryIndex(), 0);
    QCOMPARE(apptest::EditorOf(*window)->lines(), QStringList{QStringLiteral("G01")});
  }

  void nc31NumberingRaisesAndDerivesTheSlot() {
    window->projectDocument().setDeviceType(dtProg);
    window->projectDocument().options().processing.project_type = 1;
    window->projectDocument().options().processing.enabled = true;
    AnswerPropDialogs(*window, {[](FilePropertiesDialog &f) { QCOMPARE(f.properties().number, 13); },
                                [](FilePropertiesDialog &f) { Field<QLineEdit>(f, "numberEdit")->setText(QStringLiteral("5")); }});
    run("AddNewFileToCatalog");
    run("AddNewFileToCatalog");
    QCOMPARE(catalog().CatalogCount(), 2);
    QCOMPARE(catalog().Catalog(0).prog_num, 13);
    QCOMPARE(catalog().Catalog(0).cat_num, 0);
    QCOMPARE(catalog().Catalog(1).prog_num, 5);  // raised to 17 for its slot only
    QCOMPARE(catalog().Catalog(1).cat_num, 4);
    QCOMPARE(cell(*window, 1, 0), QStringLiteral(" 5"));

    // A number whose slot is taken asks (one line break, no stray CR); Cancel keeps the old entry.
    dialogs.answers = {QMessageBox::Cancel};
    AnswerPropDialogs(*window, {[](FilePropertiesDialog &f) { Field<QLineEdit>(f, "numberEdit")->setText(QStringLiteral("17")); }});
    run("AddNewFileToCatalog");
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Программа с таким номером существует.\nЗаменить?"));
    QCOMPARE(catalog().CatalogCount(), 2);
  }

  void createCancelledStillMarksTheProjectChanged() {
    AnswerPropDialogs(*window, {[](FilePropertiesDialog &f) {
      QVERIFY(!Field<QGroupBox>(f, "typeGroup")->isEnabled());
      QCOMPARE(f.properties().name, QStringLiteral("Программа"));
      Field<QPushButton>(f, "cancelButton")->click();
    }});
    run("AddNewFileToCatalog");
    QCOMPARE(catalog().CatalogCount(), 0);
    QVERIFY(window->projectDocument().changed());
    QVERIFY(Field<QGroupBox>(*PropForm(*window), "typeGroup")->isEnabled());
  }

  void threeDroppedFilesWithForAllShowTheDialogOnce() {
    const QStringList files = {writeFile(dir, "a.txt", "G01\r\n"), writeFile(dir, "b.txt", "G02\r\n"),
                               writeFile(dir, "c.bin", "\x01\x02")};
    int shown = 0;
    AnswerPropDialogs(*window, {[&](FilePropertiesDialog &f) {
      ++shown;
      QVERIFY(Field<QCheckBox>(f, "forAllCheck")->isVisible());
      Field<QCheckBox>(f, "forAllCheck")->setChecked(true);
    }});
    // Dropped from the desktop: the drop ends first, the files' properties are asked afterwards.
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &file : files) urls << QUrl::fromLocalFile(file);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(shown, 0);
    QCOMPARE(catalog().CatalogCount(), 0);
    QTRY_COMPARE(catalog().CatalogCount(), 3);
    QCOMPARE(shown, 1);
    QStringList names;
    for (int i = 0; i < 3; ++i) {
      names << QString::fromStdU16String(ByteArrayToString(catalog().Catalog(i).code, 128));
      QCOMPARE(int(catalog().Catalog(i).prog_num), i + 1);
      QVERIFY(catalog().Catalog(i).need_p_proc);
    }
    QCOMPARE(names, (QStringList{"a.txt", "b.txt", "c.bin"}));
    QVERIFY(window->projectDocument().changed());
  }

  void addCancelStopsTheRemainingFiles() {
    dialogs.files = {writeFile(dir, "a.txt", "G01") + "\n" + writeFile(dir, "b.txt", "G02")};
    AnswerPropDialogs(*window, {[](FilePropertiesDialog &f) { Field<QPushButton>(f, "cancelButton")->click(); }});
    run("AddFileToCatalog");
    QCOMPARE(dialogs.fileCaptions.value(0), QStringLiteral("Добавление файла в проект"));
    QCOMPARE(catalog().CatalogCount(), 0);
  }

  // A FIFO or a device is never read (that would block the window): adding it or opening it in
  // the editor ends at once with the open error, before any properties are asked for; the other
  // files are added, and the project stays as it was when nothing was.
  void fifoAndDeviceAreRefusedAtOnce() {
    const QString fifo = dir.filePath(QStringLiteral("канал"));
    QCOMPARE(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    // One answer for the one file that gets as far as its properties (b.txt, at the end).
    bool propertiesAsked = false;
    AnswerPropDialogs(*window, {[&](FilePropertiesDialog &) { propertiesAsked = true; }});
    for (const QString &file : {fifo, QStringLiteral("/dev/zero")}) {
      dialogs.asked.clear();
      dialogs.files = {file};
      run("AddFileToCatalog");
      QCOMPARE(dialogs.asked.size(), 1);
      QCOMPARE(dialogs.asked[0].icon, QMessageBox::Critical);
      QCOMPARE(dialogs.asked[0].title, QStringLiteral("Ошибка"));
      QCOMPARE(dialogs.asked[0].text, QStringLiteral("Ошибка открытия файла."));
      QVERIFY(!propertiesAsked);
      QCOMPARE(catalog().CatalogCount(), 0);
      QVERIFY(!window->projectDocument().changed());
    }

    add(textEntry(0, 1, u"a", {u"G01"}));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, false);
    dialogs.asked.clear();
    dialogs.answers = {QMessageBox::Ok};  // replace the text
    dialogs.files = {fifo};
    window->programEditing().openTextFile();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked[1].text, QStringLiteral("Ошибка открытия файла."));
    QCOMPARE(*catalog().Catalog(0).text, ProgramText{u"G01"});
    QVERIFY(!window->editorPane().textChanged());

    // With a regular file beside it, that file is still added.
    dialogs.asked.clear();
    dialogs.files = {fifo + "\n" + writeFile(dir, "b.txt", "G02")};
    run("AddFileToCatalog");
    QCOMPARE(dialogs.asked.size(), 1);
    QVERIFY(propertiesAsked);
    QCOMPARE(catalog().CatalogCount(), 2);
    QVERIFY(window->projectDocument().changed());
  }

  void upAtTheFirstSlotAndDownAtTheLastDoNothing() {
    catalog().SetMaxProgNum(3);
    add(textEntry(0, 1, u"a"));
    add(textEntry(2, 2, u"b"));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, true);
    runEvenIfDisabled("FileUpCatalog");
    window->catalogPane().selectRows(1, 1, true);
    runEvenIfDisabled("FileDownCatalog");
    QCOMPARE(catalog().Catalog(0).cat_num, 0);
    QCOMPARE(catalog().Catalog(1).cat_num, 2);
    QVERIFY(!window->projectDocument().changed());

    run("FileUpCatalog");  // exchanges slots with the entry above
    QCOMPARE(catalog().Catalog(1).cat_num, 0);
    QCOMPARE(catalog().Catalog(0).cat_num, 2);
    QCOMPARE(catalog().Catalog(1).prog_num, 2);  // 2С42 keeping program numbers: moved by slot
    QCOMPARE(window->catalogPane().selectedRows(), QList<int>{0});
    QCOMPARE(window->projectDocument().currentEntryIndex(), 1);
    QVERIFY(window->projectDocument().changed());
  }

  // Ctrl+X removes files while the focus is in the left pane (the list or the device selector);
  // in the editor the same keys are the editor's.
  void ctrlXRemovesOnlyWhereTheCatalogHasTheFocus() {
    add(textEntry(0, 1, u"a"));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, true);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    auto *list = window->findChild<QTableView *>(QStringLiteral("CatalogTable"));
    for (QWidget *focus : {static_cast<QWidget *>(list), static_cast<QWidget *>(kalvort::apptest::DeviceSelectorOf(*window)),
                           static_cast<QWidget *>(apptest::EditorOf(*window))}) {
      dialogs.asked.clear();
      focus->setFocus();
      QTRY_VERIFY(focus->hasFocus());
      if (focus == apptest::EditorOf(*window)) apptest::EditorOf(*window)->selectAll();
      QTest::keyClick(focus, Qt::Key_X, Qt::ControlModifier);  // the question is answered Cancel
      QCOMPARE(dialogs.asked.value(0).text, focus == apptest::EditorOf(*window) ? QString() : QStringLiteral("Удалить файл(ы)?"));
    }
    QCOMPARE(catalog().CatalogCount(), 1);
    QCOMPARE(apptest::EditorOf(*window)->toPlainText(), QString());  // cut
  }

  void removeClosesTheGapAndSelectsTheNextRow() {
    add(textEntry(0, 1, u"a"));
    add(textEntry(1, 2, u"b"));
    add(textEntry(2, 3, u"c"));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 1, true);
    dialogs.answers = {QMessageBox::Ok};
    run("RemFileFromCatalog");
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Удалить файл(ы)?"));
    QCOMPARE(catalog().CatalogCount(), 1);
    QCOMPARE(catalog().Catalog(0).cat_num, 0);
    QCOMPARE(window->projectDocument().currentEntryIndex(), 0);
  }

  void listFileHasTheHeaderLineAndTabs() {
    add(textEntry(0, 7, u"Вал"));
    window->catalogPane().refresh();
    const QString file = dir.filePath("list");
    dialogs.files = {file};
    run("SaveCatAsTxtAction");
    QFile f(file + ".txt");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines[0], QByteArray("\xB9\t\xB9 \xEF.\t\xCD\xE0\xE7\xE2\xE0\xED\xE8\xE5\t\xD0\xE0\xE7\xEC.\xF2\xE5\xEA\xF1\xF2\t"
                                  "\xD0\xE0\xE7\xEC.\xEE\xE1\xF0.\t\xCE\xE1\xF0.\t\xC4\xE0\xF2\xE0\t\r"));
    QVERIFY(lines[1].startsWith(" 1\t7\t\xC2\xE0\xEB\t5\t---\t\xC4\xE0\t"));

    // A list file that cannot be written is reported, not half written.
    dialogs.files = {dir.filePath("missing/list.txt")};
    run("SaveCatAsTxtAction");
    QCOMPARE(dialogs.asked.last().text, QStringLiteral("Ошибка сохранения файла!"));
  }

  void saveCancelledOrFailedKeepsTheProjectChanged() {
    add(textEntry(0, 1, u"a"));
    window->projectDocument().setChanged(true);
    dialogs.files = {QString()};
    QVERIFY(!apptest::SaveAs(*window));
    QVERIFY(window->projectDocument().changed());

    const QString existing = writeFile(dir, "old.kvt", "old");
    dialogs.files = {existing};
    dialogs.answers = {QMessageBox::Cancel};
    QVERIFY(!apptest::SaveAs(*window));
    QVERIFY(window->projectDocument().changed());
    QCOMPARE(window->projectDocument().fileName(), QStringLiteral("Проект.kvt"));

    dialogs.files = {dir.filePath("no/such/folder/p.kvt")};
    QVERIFY(!apptest::SaveAs(*window));
    QCOMPARE(dialogs.asked.last().text, QStringLiteral("Ошибка сохранения файла!"));
    QVERIFY(window->projectDocument().changed());

    dialogs.files = {dir.filePath("good")};
    QVERIFY(apptest::SaveAs(*window));
    QVERIFY(!window->projectDocument().changed());
    QCOMPARE(window->projectDocument().fileName(), dir.filePath("good.kvt"));
  }

  void failedOpenKeepsThePreviousProject() {
    add(textEntry(0, 1, u"kept"));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, true);
    const QString caption = window->windowTitle();
    dialogs.files = {writeFile(dir, "bad.kvt", "not a project")};
    run("ProjectOpenAction");
    QCOMPARE(dialogs.asked.last().text, QStringLiteral("Ошибка открытия файла."));
    QCOMPARE(window->windowTitle(), caption);
    QCOMPARE(window->projectDocument().fileName(), QStringLiteral("Проект.kvt"));
    QCOMPARE(catalog().CatalogCount(), 1);
    QCOMPARE(cell(*window, 0, 2), QStringLiteral("kept"));
    QCOMPARE(apptest::EditorOf(*window)->lines(), QStringList{QStringLiteral("G01")});
  }

  void newProjectAsksFirstAndTakesTheOptionsBack() {
    add(textEntry(0, 1, u"old"));
    window->projectDocument().setChanged(true);
    dialogs.answers = {QMessageBox::Cancel};
    run("ProjectNewAction");
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Текущий проект не сохранен. Продолжить?"));
    QCOMPARE(catalog().CatalogCount(), 1);

    window->projectDocument().setDeviceType(dtProg);
    dialogs.answers = {QMessageBox::Ok};
    QTimer::singleShot(0, [] {
      auto *form = qobject_cast<SettingsDialog *>(QApplication::activeModalWidget());
      QVERIFY(form);
      NamedChild<QComboBox>(*form, "ProjectTypeCombo")->setCurrentIndex(1);
      NamedChild<QCheckBox>(*form, "DelSpaceCheck")->setChecked(false);
      NamedChild<QPushButton>(*form, "OkButton")->click();
    });
    run("ProjectNewAction");
    QCOMPARE(window->projectDocument().options().processing.project_type, 1);
    QVERIFY(!window->projectDocument().options().drop_spaces);
    QCOMPARE(catalog().CatalogCount(), 0);
    QVERIFY(!window->projectDocument().changed());
    QCOMPARE(window->windowTitle(), QStringLiteral("Калворт v1.1.7 - Проект.kvt"));
  }

  void openAfterSaveRestoresTheProject() {
    add(textEntry(0, 4, u"one", {u"G01 X1", u"M30"}));
    const QString file = dir.filePath("round.kvt");
    dialogs.files = {file};
    QVERIFY(apptest::SaveAs(*window));
    window->projectCommands().resetProject();
    QCOMPARE(catalog().CatalogCount(), 0);
    QVERIFY(apptest::OpenFile(*window, file));
    QCOMPARE(window->windowTitle(), QStringLiteral("Калворт v1.1.7 - ") + file);
    QCOMPARE(catalog().CatalogCount(), 1);
    QCOMPARE(apptest::EditorOf(*window)->lines(), (QStringList{"G01 X1", "M30"}));
  }

  // A file with more programs than the catalog holds: the open says how many were taken, and a save
  // over that file asks first, leaving it whole unless the answer is yes.
  void projectBeyondTheCatalogIsNeverCutSilently() {
    ProjectContent content;
    const int in_file = catalog().MaxProgNum() + 5;
    for (int i = 0; i < in_file; ++i)
      content.entries.push_back(textEntry(i, static_cast<uint16_t>(i + 1), u"P"));
    const QString file = dir.filePath("big.kvt");
    QCOMPARE(WriteProjectContent(toPath(file), content), ProjectError::None);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    QVERIFY(apptest::OpenFile(*window, file));
    QCOMPARE(catalog().CatalogCount(), catalog().MaxProgNum());
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Проект содержит %1 программ, загружено %2.")
                                              .arg(in_file)
                                              .arg(catalog().MaxProgNum()));
    dialogs.asked.clear();

    dialogs.files = {file};
    QVERIFY(!apptest::SaveAs(*window));  // the default answer keeps the file
    QCOMPARE(dialogs.asked.value(0).text,
             QStringLiteral("Файл содержит программы, которые не были загружены. Перезаписать?"));
    QCOMPARE(dialogs.asked.value(0).defaultButton, QMessageBox::No);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    f.close();

    dialogs.files = {file};
    dialogs.answers = {QMessageBox::Yes};
    QVERIFY(apptest::SaveAs(*window));
    ProjectContent back;
    QCOMPARE(ReadProjectContent(toPath(file), back), ProjectError::None);
    QCOMPARE(static_cast<int>(back.entries.size()), catalog().MaxProgNum());
  }
};

KALVORT_APP_TEST_MAIN(CatalogViewTest)
#include "CatalogViewTest.moc"
