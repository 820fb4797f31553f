// The editor pane: showing an entry (text, hex dump, raw bytes), the checks with their error
// line, the confirm and cancel commands and the editor's changed flag.

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTableView>
#include <QTextBlock>
#include <QTimer>

#include <sys/resource.h>

#include <new>

#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"
#include "window/CatalogModel.h"
#include "dialogs/ProgressWindow.h"
#include "window/CatalogPane.h"
#include "window/DeviceCommands.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "formats/PostProcess.h"
#include "support/AppTest.h"
#include "support/DialogWidgets.h"
#include "support/EditorWidgets.h"
#include "support/CatalogPrograms.h"
#include "support/WindowFixture.h"
#include "workflow/DeviceSession.h"

using namespace kalvort;
using kalvort::apptest::ActionNamed;
using kalvort::apptest::ActionSelectorOf;
using kalvort::apptest::EditorOf;
using kalvort::apptest::NamedChild;

namespace {

TDevCatalogEntry entry(int cat_num, const char16_t *name) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = static_cast<uint16_t>(cat_num + 1);
  StringToCatalogEntry(name, e);
  e.text = std::make_shared<ProgramText>();
  return e;
}

TDevCatalogEntry textEntry(int cat_num, ProgramText lines) {
  return kalvort::testing::TextEntry(cat_num, static_cast<uint16_t>(cat_num + 1), u"text", std::move(lines));
}

TDevCatalogEntry binaryEntry(int cat_num, std::vector<uint8_t> bytes) {
  TDevCatalogEntry e = entry(cat_num, u"binary");
  e.prog_size = static_cast<uint32_t>(bytes.size());
  e.p_buffer = std::make_shared<ProgramImage>(std::move(bytes));
  e.file_bin_valid = true;
  return e;
}

}  // namespace

class EditorPaneTest : public QObject, kalvort::apptest::WindowFixture {
  Q_OBJECT

  void show(std::vector<TDevCatalogEntry> entries, int row = 0) {
    for (auto &e : entries) QVERIFY(catalog().AddCatalogEntry(e));
    window->catalogPane().refresh();
    window->catalogPane().selectRows(row, row, true);
  }
  QString selected() const { return editor()->textCursor().selectedText(); }
  CodeEditor *editor() const { return EditorOf(*window); }
  QAction *hexSwitch() const { return ActionNamed(*window, "HexViewAction"); }

 private slots:
  void init() { QVERIFY(openWindowConverting2C42()); }
  void cleanup() { closeWindow(); }

  void hexViewWritesSixteenBytesALine() {
    std::vector<uint8_t> twenty(20, 0xAB), sixteen(16, 0x01);
    show({binaryEntry(0, twenty), binaryEntry(1, sixteen), entry(2, u"empty")});
    hexSwitch()->trigger();  // on: the entry is shown again as a hex dump
    QVERIFY(hexSwitch()->isChecked());
    QCOMPARE(editor()->blockCount(), 2);
    QCOMPARE(editor()->document()->findBlockByNumber(1).text(), QStringLiteral("000010: AB AB AB AB "));
    QVERIFY(editor()->isReadOnly());
    window->catalogPane().selectRows(1, 1, true);
    QCOMPARE(editor()->lines().size(), 1);
    window->catalogPane().selectRows(2, 2, true);
    QVERIFY(editor()->lines().isEmpty());
    hexSwitch()->setChecked(false);
  }

  void rawBytesAreShownReadOnlyAndNeverTakenBack() {
    show({binaryEntry(0, {'G', '1', 0x01, '\r', '\n', 'M', 0x7F, 0, 'X'})});
    // Control characters in a form the editor's font can draw: their pictures, else "^A".
    const QFontMetrics metrics(editor()->font());
    if (metrics.inFont(QChar(0x2401)) && metrics.inFont(QChar(0x2421)))
      QCOMPARE(editor()->lines(), (QStringList{QStringLiteral("G1\u2401"), QStringLiteral("M\u2421")}));
    else
      QCOMPARE(editor()->lines(), (QStringList{QStringLiteral("G1^A"), QStringLiteral("M^?")}));
    QVERIFY(editor()->isReadOnly());
    window->programEditing().confirmText();
    const TDevCatalogEntry e = catalog().Catalog(0);
    QVERIFY(e.file_bin_valid);
    QVERIFY(!e.file_txt_valid);
    QVERIFY(e.text->empty());
    QVERIFY(!window->projectDocument().changed());
  }

  void checkFileSelectsTheLineWithTheWrongCharacter() {
    show({textEntry(0, {u"%", u"G01 X10", u"G01 Xж", u"M30"})});
    window->programEditing().checkProgram();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Проверка"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Неверный символ\nПрограмма 1 (text), строка 3"));
    QCOMPARE(selected(), QStringLiteral("G01 Xж"));
    QCOMPARE(editor()->textCursor().blockNumber(), 2);
    QCOMPARE(editor()->errorLine(), 2);
    QVERIFY(!window->editorPane().textChanged());
    QCOMPARE(catalog().Catalog(0).file_error_code, feProcessError);
    QCOMPARE(window->catalogPane().model().cellText(0, 0), QStringLiteral("!1"));
  }

  void checkFileReportsARepeatedBlockNumber() {
    window->projectDocument().options().processing.project_type = 1;
    show({textEntry(0, {u"N0 G01", u"N1 X5", u"N1 M30"})});
    window->programEditing().checkProgram();
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Неверный номер кадра\nПрограмма 1 (text), строка 3"));
  }

  void checkFileSucceedsAndMarksTheBinaryValid() {
    show({textEntry(0, {u"G01 X10", u"M30"})});
    editor()->appendPlainText(QStringLiteral("M02"));
    QVERIFY(window->editorPane().textChanged());
    dialogs.answers = {QMessageBox::Ok};
    ActionNamed(*window, "CheckFileAction")->trigger();
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Сохранить изменения и проверить?"));
    QCOMPARE(dialogs.asked[1].text, QStringLiteral("Проверка прошла успешно."));
    QVERIFY(catalog().Catalog(0).file_bin_valid);
    QCOMPARE(catalog().Catalog(0).text->size(), size_t{3});
    QVERIFY(window->projectDocument().changed());
    QVERIFY(!window->editorPane().textChanged());
  }

  void checkProjectStopsAtTheFirstFailure() {
    auto converted = textEntry(0, {u"G01"});
    converted.file_bin_valid = true;  // valid binaries are not converted again
    converted.p_buffer = std::make_shared<ProgramImage>(ProgramImage{1});
    converted.prog_size = 1;
    show({converted, textEntry(1, {u"G01", u"ы"}), textEntry(2, {u"Я"})});
    ActionNamed(*window, "CheckAllFilesAction")->trigger();
    QVERIFY(kalvort::apptest::WaitForFileWork(*window));
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Неверный символ\nПрограмма 2 (text), строка 2"));
    QCOMPARE(window->projectDocument().currentEntryIndex(), 1);
    QCOMPARE(window->catalogPane().selectedRows(), QList<int>{1});
    QCOMPARE(selected(), QStringLiteral("ы"));
    QCOMPARE(catalog().Catalog(0).prog_size, 1u);
    QCOMPARE(catalog().Catalog(2).file_error_code, feOK);  // never reached
  }

  void cancelWithoutChangesReshowsWithoutAsking() {
    show({textEntry(0, {u"G01"})});
    window->programEditing().discardText();
    QVERIFY(dialogs.asked.isEmpty());
    editor()->appendPlainText(QStringLiteral("X1"));
    dialogs.answers = {QMessageBox::Ok};
    ActionNamed(*window, "EditorCancelAction")->trigger();
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Отменить изменения?"));
    QCOMPARE(editor()->lines(), QStringList{QStringLiteral("G01")});
    QVERIFY(!window->editorPane().textChanged());
  }

  // The editor always shows the entry it will store into: Отмена stays on the edited program, Нет
  // drops the edit and shows the new one, Да stores into the edited program and then moves.
  void leavingAnEditedEntryAsksFirst() {
    show({textEntry(0, {u"G01"}), textEntry(1, {u"G02"})});
    editor()->appendPlainText(QStringLiteral("X1"));
    dialogs.answers = {QMessageBox::Cancel};
    window->catalogPane().selectRows(1, 1, true);
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Текст изменен. Сохранить?"));
    QCOMPARE(dialogs.asked.value(0).defaultButton, QMessageBox::Cancel);
    QVERIFY(window->editorPane().textChanged());
    QCOMPARE(window->projectDocument().currentEntryIndex(), 0);
    QCOMPARE(window->catalogPane().selectedEntry(), 0);
    QCOMPARE(editor()->lines(), (QStringList{"G01", "X1"}));

    dialogs.answers = {QMessageBox::No};
    window->catalogPane().selectRows(1, 1, true);
    QVERIFY(!window->editorPane().textChanged());
    QCOMPARE(window->catalogPane().selectedEntry(), 1);
    QCOMPARE(editor()->lines(), QStringList{QStringLiteral("G02")});
    QCOMPARE(catalog().Catalog(0).text->size(), size_t{1});  // the edit was dropped
    // Confirming now stores into the program shown, never into the one left.
    editor()->appendPlainText(QStringLiteral("X2"));
    dialogs.answers = {QMessageBox::Ok};
    window->programEditing().confirmText();
    QCOMPARE(*catalog().Catalog(1).text, (ProgramText{u"G02", u"X2"}));
    QCOMPARE(*catalog().Catalog(0).text, ProgramText{u"G01"});

    editor()->appendPlainText(QStringLiteral("X3"));
    dialogs.answers = {QMessageBox::Yes};
    window->catalogPane().selectRows(0, 0, true);
    QCOMPARE(*catalog().Catalog(1).text, (ProgramText{u"G02", u"X2", u"X3"}));
    QVERIFY(window->projectDocument().changed());
    QCOMPARE(editor()->lines(), QStringList{QStringLiteral("G01")});
  }

  void closingAsksAboutUnconfirmedText() {
    show({textEntry(0, {u"G01"})});
    editor()->appendPlainText(QStringLiteral("X1"));
    dialogs.answers = {QMessageBox::Cancel};
    QVERIFY(!window->close());
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Текст изменен. Сохранить?"));
    QVERIFY(window->editorPane().textChanged());
    // Да takes the text into the project, which then is unsaved: the project question follows.
    dialogs.asked.clear();
    dialogs.answers = {QMessageBox::Yes, QMessageBox::No};
    QVERIFY(window->close());
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked.value(1).text, QStringLiteral("Сохранить проект?"));
  }

  void okTakesTheTextAndRunEditsIt() {
    show({textEntry(0, {u"G01", u"X1"})});
    ActionNamed(*window, "EditorRunAction")->trigger();  // 2С42, first action: NULL at every line end
    QCOMPARE(editor()->lines(), (QStringList{"G01^", "X1^"}));
    QVERIFY(window->editorPane().textChanged());
    dialogs.answers = {QMessageBox::Ok};
    ActionNamed(*window, "EditorOkAction")->trigger();
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Сохранить изменения?"));
    QCOMPARE(*catalog().Catalog(0).text, (ProgramText{u"G01^", u"X1^"}));
    QVERIFY(!catalog().Catalog(0).file_bin_valid);
    QVERIFY(window->projectDocument().changed());
    QVERIFY(!window->editorPane().textChanged());
  }

  // A long program comes in from the event loop, read-only until it is all in; a failing line
  // found meanwhile is selected once it is there; confirming keeps the text in the editor.
  void aLongProgramComesInAndIsKeptOnConfirm() {
    ProgramText lines{u"%"};
    for (int i = 1; i < 60000; ++i) lines.push_back(u"G01 X" + std::u16string(1, char16_t(u'0' + i % 10)) + u" Z-5");
    lines[50000] = u"G01 Xж";
    show({textEntry(0, lines)});
    QVERIFY(window->editorPane().loading());
    QVERIFY(editor()->isReadOnly());
    QCOMPARE(window->editorPane().lines().size(), 60000);  // the whole text, also while it comes in
    QTRY_VERIFY_WITH_TIMEOUT(!window->editorPane().loading(), 20000);
    QVERIFY(!editor()->isReadOnly());
    QVERIFY(!window->editorPane().textChanged());

    window->programEditing().checkProgram();  // the failing program is shown again, then its line
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Неверный символ\nПрограмма 1 (text), строка 50001"));
    QTRY_VERIFY_WITH_TIMEOUT(!window->editorPane().loading(), 20000);
    QCOMPARE(editor()->textCursor().blockNumber(), 50000);
    QCOMPARE(selected(), QStringLiteral("G01 Xж"));
    QCOMPARE(editor()->errorLine(), 50000);

    editor()->textCursor().insertText(QStringLiteral("G01 X7"));
    QVERIFY(window->editorPane().textChanged());
    dialogs.answers = {QMessageBox::Ok};
    ActionNamed(*window, "EditorOkAction")->trigger();
    QCOMPARE((*catalog().Catalog(0).text)[50000], std::u16string(u"G01 X7"));
    QCOMPARE(catalog().Catalog(0).text->size(), size_t{60000});
    QVERIFY(!window->editorPane().loading());  // not loaded again
    QCOMPARE(editor()->textCursor().blockNumber(), 50000);
    QVERIFY(editor()->document()->isUndoAvailable());
  }

  // "Выполнить действие" is one undo step: one Ctrl+Z gives back the text as it was.
  void runIsUndoneByOneCtrlZ() {
    show({textEntry(0, {u"N1 G01 X1", u"N2 M30", u"N3"})});
    editor()->setFocus();
    QTest::keyClicks(editor(), QStringLiteral("%"));
    const QStringList typed = editor()->lines();
    ActionSelectorOf(*window)->setCurrentIndex(2);  // 2С42: remove every space
    ActionNamed(*window, "EditorRunAction")->trigger();
    QCOMPARE(editor()->lines(), (QStringList{"%N1G01X1", "N2M30", "N3"}));
    QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(editor()->lines(), typed);
    QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(editor()->lines(), (QStringList{"N1 G01 X1", "N2 M30", "N3"}));
  }

  void binaryOfAProcessedEntryIsConvertedWhenShown() {
    auto e = textEntry(0, {u"G01 X10", u"M30"});
    QVERIFY(catalog().AddCatalogEntry(e));
    PostProcessOptions options;
    QVERIFY(RunWritePostprocess(catalog(), 0, options));
    catalog().FileTxtValidClear(0);
    catalog().Catalog(0).text->clear();
    window->catalogPane().refresh();
    window->catalogPane().selectRows(0, 0, true);
    QCOMPARE(editor()->lines(), (QStringList{"G01X10", "M30"}));  // spaces dropped by the writer
    QVERIFY(catalog().Catalog(0).file_txt_valid);
    QCOMPARE(window->catalogPane().model().cellText(0, 3), QStringLiteral("13"));
    QVERIFY(!editor()->isReadOnly());
    QVERIFY(!window->editorPane().textChanged());
    // The conversion ran in the shared progress window, which is hidden again with its cancel
    // button usable for the device commands.
    QVERIFY(window->deviceCommands().hasProgressForm());
    QVERIFY(!window->deviceCommands().progressForm().isVisible());
    QVERIFY(NamedChild<QPushButton>(window->deviceCommands().progressForm(), "CancelButton")->isEnabled());
  }

  void openFileKeepsItsByteOrderMarkOnSave() {
    QTemporaryDir dir;
    show({textEntry(0, {u"G01"})});
    const QString in = dir.filePath("in.txt"), out = dir.filePath("out.txt");
    QFile f(in);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xFF\xFE" "G\0" "2\0\r\0\n\0" "\x16\x04", 12));  // UTF-16LE "G2", "Ж"
    f.close();
    dialogs.answers = {QMessageBox::Ok};
    dialogs.files = {in};
    ActionNamed(*window, "EditorOpenFileAction")->trigger();
    QCOMPARE(dialogs.asked.value(0).text, QStringLiteral("Заменить текстовый файл?"));
    QCOMPARE(editor()->lines(), (QStringList{"G2", "Ж"}));
    QVERIFY(window->editorPane().textChanged());
    QVERIFY(!catalog().Catalog(0).file_bin_valid);
    window->editorPane().setTextChanged(false);
    dialogs.files = {out};
    ActionNamed(*window, "EditorSaveFileAction")->trigger();
    QFile saved(out);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("\xFF\xFE" "G\0" "2\0\r\0\n\0" "\x16\x04\r\0\n\0", 16));
  }

  // A handler that runs out of memory ends its own work only: the window says so and goes on.
  void outOfMemoryInAHandlerIsReported() {
    QTimer::singleShot(0, window.get(), [] { throw std::bad_alloc(); });
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.asked.value(0).text, QStringLiteral("Недостаточно памяти."), 5000);
  }

  // A program too big for the memory left is not shown (text and hex dump alike), the entry stays
  // as it is, and the next program is shown as usual.
  void aProgramBeyondTheMemoryLeftIsNotShown() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("an address-space limit breaks the sanitizers' own mappings");
#endif
    show({textEntry(0, {std::u16string(10'000'000, u'X')}), binaryEntry(1, std::vector<uint8_t>(8'000'000, 1)),
          textEntry(2, {u"G01 X1"})});
    window->catalogPane().selectRows(2, 2, true);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_AS, &old), 0);
    std::FILE *f = std::fopen("/proc/self/statm", "re");
    unsigned long long pages = 0;
    QVERIFY(f && std::fscanf(f, "%llu", &pages) == 1);
    std::fclose(f);
    rlimit tight = old;
    tight.rlim_cur = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{150} << 20);
    QCOMPARE(::setrlimit(RLIMIT_AS, &tight), 0);

    window->catalogPane().selectRows(0, 0, true);
    const bool textShown = !editor()->document()->isEmpty();
    hexSwitch()->setChecked(true);
    window->catalogPane().selectRows(1, 1, true);
    const bool dumpShown = !editor()->document()->isEmpty();
    hexSwitch()->setChecked(false);
    window->catalogPane().selectRows(2, 2, true);
    QCOMPARE(::setrlimit(RLIMIT_AS, &old), 0);

    QVERIFY(!textShown);
    QVERIFY(!dumpShown);
    QCOMPARE(editor()->lines(), QStringList{"G01 X1"});
    QCOMPARE(catalog().Catalog(0).text->front().size(), size_t{10'000'000});
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.asked.value(0).text, QStringLiteral("Недостаточно памяти."), 5000);
  }

  void aSlashInTheNameIsNotProposedAsAFolder() {
    TDevCatalogEntry e = textEntry(0, {u"G01"});
    StringToCatalogEntry(u"ВАЛ/2", e);
    show({e});
    window->programEditing().saveProgramFile();  // the dialog is cancelled
    QCOMPARE(QFileInfo(dialogs.fileDirs.value(0)).fileName(), QStringLiteral("ВАЛ_2"));
    QCOMPARE(QFileInfo(dialogs.fileDirs.value(0)).path(), window->projectCommands().fileDialogFolder());
  }

  void zoomActionsStopAtTheLimits() {
    show({textEntry(0, {u"G01"})});  // an empty project has no editor commands
    QAction *zoomIn = ActionNamed(*window, "EditorZoomInAction");
    QAction *zoomOut = ActionNamed(*window, "EditorZoomOutAction");
    for (int i = 0; i < 60; ++i) zoomIn->trigger();
    QCOMPARE(editor()->pointSize(), 48);
    for (int i = 0; i < 60; ++i) zoomOut->trigger();
    QCOMPARE(editor()->pointSize(), 8);
  }
};

KALVORT_APP_TEST_MAIN(EditorPaneTest)
#include "EditorPaneTest.moc"
