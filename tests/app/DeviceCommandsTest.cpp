// The main window's device commands end to end: the virtual USB programmer (a small module) and
// the controller simulator on a loopback address, scripted answers to every question. After every
// path the window must be idle again: enabled, progress window hidden, status poll running.

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "device/DevCatalog.h"
#include "dialogs/NetSettingsDialog.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/VerifyDialog.h"
#include "support/AppTest.h"
#include "support/DialogWidgets.h"
#include "support/EditorWidgets.h"
#include "workflow/DeviceSession.h"
#include "support/CatalogPrograms.h"
#include "support/LoopbackSimulator.h"
#include "support/ScriptedDialogs.h"
#include "widgets/Ipv4Edit.h"
#include "window/CatalogModel.h"
#include "window/DeviceController.h"
#include "window/CatalogPane.h"
#include "window/DeviceCommands.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/ProjectCommands.h"
#include "window/StatusLine.h"

using kalvort::ProgramImage;
using kalvort::ProgramText;
using kalvort::TDevCatalogEntry;
using kalvort::apptest::EditorOf;
using kalvort::apptest::NamedChild;
using kalvort::apptest::WaitFor;
using kalvort::apptest::WaitForDeviceStatus;
using kalvort::apptest::WaitForNextStatus;
using Button = QMessageBox::StandardButton;

namespace {

using kalvort::testing::BytesOf;
using kalvort::testing::Program;

void addPrograms(kalvort::TDevCatalog &catalog, const std::vector<Program> &programs) {
  QVERIFY(kalvort::testing::AddPrograms(catalog, programs));
}

const std::vector<Program> kC42 = {
    {0, u"ВАЛ-1", {u"%", u"N1 G01 X100", u"M02"}, {}},
    {3, u"ФЛАНЕЦ", {u"G00 Z5", u"M30"}, {}},
    {7, u"BIN", {}, ProgramImage(700, 0x5A)},
};
const std::vector<Program> kNC31 = {
    {0, u"НЦ-0", {u"N0000 G1 X100 Z200", u"M3"}, {}},
    {5, u"НЦ-5", {u"X-100 Z1"}, {}},
    {6, u"ДВОИЧН", {}, ProgramImage(300, 0x21)},
};

QByteArray fileBytes(const QString &path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

}  // namespace

class DeviceCommandsTest : public QObject {
  Q_OBJECT

  std::unique_ptr<ScriptedDialogs> dialogs;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<kalvort::sim::UrvellSimulator> sim;

  kalvort::TDevCatalog &programs() { return window->projectDocument().programs(); }
  // The progress window shared by the device commands; progressMade() is false before its first use.
  ProgressWindow &progress() { return window->deviceCommands().progressForm(); }
  bool progressMade() { return window->deviceCommands().hasProgressForm(); }

  // The window on the virtual USB programmer, or on a fresh simulator (`density` module).
  void open(bool lan, int density = 1) {
    dialogs = std::make_unique<ScriptedDialogs>();
    window = std::make_unique<MainWindow>(*dialogs);
    window->show();
    QVERIFY(WaitForDeviceStatus(*window));
    if (!lan) return;
    sim = kalvort::test::startLoopbackSimulator(std::make_shared<kalvort::sim::ModuleMemory>(density));
    window->setNetworkDevices({{sim->Config().address, u"Сим"}});
    kalvort::apptest::DeviceSelectorOf(*window)->setCurrentIndex(1);
    window->DeviceSelectorChanged();
    QVERIFY(WaitFor([&] { return window->deviceController().hasDevice() &&
                                 !window->deviceController().session()->Target().usb; }));
    QVERIFY(WaitForNextStatus(*window));
    QVERIFY(window->deviceController().connected());
  }

  // Runs a command to its end; false when the window did not return to idle.
  bool run(void (DeviceCommands::*command)(), int timeoutMs = 60000) {
    (window->deviceCommands().*command)();
    return WaitFor([&] { return !window->deviceController().commandRunning(); }, timeoutMs);
  }

  void expectIdle() {
    QVERIFY(!window->deviceController().commandRunning());
    QVERIFY(window->isEnabled());
    QVERIFY(!progressMade() || !progress().isVisible());
    QVERIFY(window->deviceController().polling());
  }

  // Messages shown since the last call, as "title|text".
  QStringList takeAsked() {
    QStringList out;
    for (const auto &a : dialogs->asked) out << a.title + QLatin1Char('|') + a.text;
    dialogs->asked.clear();
    return out;
  }

  // A write of 20 programs to a slow module, started and waited for until its third program:
  // the chain is well under way and has much left to do.
  bool startSlowWriteOfTwentyPrograms() {
    open(true);
    sim->SMP().SetBusyTimes(std::chrono::milliseconds(2), std::chrono::milliseconds(2));
    std::vector<Program> many;
    for (int i = 0; i < 20; ++i) many.push_back({i, u"П" + std::u16string(1, char16_t(u'А' + i)), {}, ProgramImage(2000, uint8_t(i))});
    addPrograms(programs(), many);
    dialogs->answers = {Button::Yes};
    window->deviceCommands().DeviceBurnActionExecute();
    return WaitFor([&] { return progressMade() && progress().statusText().startsWith("3. "); }, 30000);
  }

 private slots:
  void cleanup() {
    window.reset();
    dialogs.reset();
    sim.reset();
  }

  // Write then read back through the USB programmer; the НЦ-31 project uses the fixed slots.
  void writeThenReadBack_data() {
    QTest::addColumn<int>("processor");
    QTest::newRow("2С42") << 0;
    QTest::newRow("НЦ-31") << 1;
  }
  void writeThenReadBack() {
    QFETCH(int, processor);
    open(false);
    window->projectDocument().options().processing.enabled = true;
    window->projectDocument().options().processing.project_type = processor;
    addPrograms(programs(), processor == 0 ? kC42 : kNC31);
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    expectIdle();
    QCOMPARE(dialogs->asked.first().defaultButton, QMessageBox::No);
    QCOMPARE(takeAsked(), QStringList{"Предупреждение|Записать проект на модуль?"});
    QCOMPARE(dialogs->asked.size(), 0);
    QVERIFY(window->projectDocument().changed());  // the text programs got their binaries
    QCOMPARE(progress().caption(), QStringLiteral("Запись..."));

    std::vector<TDevCatalogEntry> written;
    for (int i = 0; i < programs().CatalogCount(); ++i) written.push_back(programs().Catalog(i));
    programs().CatalogClear();
    window->projectDocument().setChanged(false);
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{});
    QVERIFY(window->projectDocument().changed());
    QCOMPARE(progress().caption(), QStringLiteral("Чтение..."));
    QCOMPARE(programs().CatalogCount(), static_cast<int>(written.size()));
    for (const auto &w : written) {
      const int i = programs().GetCatalogEntryNumByCatNum(w.cat_num);
      QVERIFY(i >= 0);
      const TDevCatalogEntry r = programs().Catalog(i);
      QCOMPARE(QByteArray(reinterpret_cast<const char *>(r.code), sizeof r.code),
               QByteArray(reinterpret_cast<const char *>(w.code), sizeof w.code));
      QVERIFY(r.file_bin_valid);
      QCOMPARE(r.file_error_code, kalvort::feOK);
      QVERIFY(BytesOf(r) == BytesOf(w));
    }
  }

  // A read that fails (the module cannot be read) leaves the open project as it was; a project
  // with unsaved changes is offered for saving first.
  void failedReadKeepsTheProject() {
    open(true);
    addPrograms(programs(), kC42);
    const int count = programs().CatalogCount();
    window->projectDocument().setFileName(QStringLiteral("shop.kvt"));
    window->projectDocument().setChanged(true);

    dialogs->answers = {Button::Cancel};
    window->deviceCommands().DeviceRereadActionExecute();
    QVERIFY(!window->deviceController().commandRunning());
    QCOMPARE(dialogs->asked.value(0).text, QStringLiteral("Сохранить проект?"));
    QCOMPARE(dialogs->asked.value(0).defaultButton, QMessageBox::Cancel);
    dialogs->asked.clear();

    sim->SMP().FailOperation(kalvort::sim::ModuleOp::Read, 0, -1);
    dialogs->answers = {Button::No};
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    const QStringList asked = takeAsked();
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked[1].contains(QStringLiteral("Ошибка чтения")), qPrintable(asked.join('\n')));
    QCOMPARE(programs().CatalogCount(), count);
    QVERIFY(window->projectDocument().changed());
    QCOMPARE(window->projectDocument().fileName(), QStringLiteral("shop.kvt"));
    QCOMPARE(window->catalogPane().entryAt(0), 0);
  }

  // A controller that has gone silent: write, read and erase each say why they did not run.
  void aDeviceThatCannotBeOpenedIsReported() {
    open(true);
    window->projectDocument().options().timeout_factor = 1;
    window->deviceController().session()->Device().SetTimeoutFactor(1);
    sim.reset();
    const struct {
      void (DeviceCommands::*command)();
      QList<Button> answers;
    } cases[] = {{&DeviceCommands::DeviceBurnActionExecute, {Button::Yes}},
                 {&DeviceCommands::DeviceRereadActionExecute, {}},
                 {&DeviceCommands::DeviceClearSMPCatActionExecute, {}}};
    for (const auto &c : cases) {
      dialogs->answers = c.answers;
      QVERIFY(run(c.command));
      expectIdle();
      QVERIFY(!dialogs->asked.isEmpty());
      QCOMPARE(dialogs->asked.last().icon, QMessageBox::Warning);
      QCOMPARE(dialogs->asked.last().text, QStringLiteral("Устройство не отвечает"));
      dialogs->asked.clear();
    }
  }

  // Files handed over while a command runs wait for its end; only the latest is opened.
  void handOversWaitForTheCommandAndOnlyTheLatestCounts() {
    open(false);
    addPrograms(programs(), kC42);
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.kvt")), b = dir.filePath(QStringLiteral("b.kvt"));
    for (const QString &f : {a, b})
      QVERIFY(kalvort::apptest::WaitForOutcome([&](auto then) { window->projectCommands().saveTo(f, then); }));
    window->projectDocument().setChanged(true);
    const QString caption = window->windowTitle();
    // Yes to the write; OK to "Текущий проект не сохранен. Продолжить?" once the write has ended.
    dialogs->answers = {Button::Yes, Button::Ok};
    window->deviceCommands().DeviceBurnActionExecute();
    QVERIFY(window->deviceController().commandRunning());
    window->OpenProjectFileWhenReady(a);
    window->OpenProjectFileWhenReady(b);
    QCOMPARE(window->windowTitle(), caption);
    QVERIFY(WaitFor([&] { return window->projectDocument().fileName() == b; }, 60000));
    QVERIFY(!window->deviceController().commandRunning());
    QCOMPARE(takeAsked(), (QStringList{"Предупреждение|Записать проект на модуль?",
                                       "Предупреждение|Текущий проект не сохранен. Продолжить?"}));
  }

  void emptyProjectAndTooSmallModule() {
    open(true);
    const uint64_t before = sim->SMP().Generation();
    // An empty project: only the catalog is written, no message.
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{"Предупреждение|Записать проект на модуль?"});
    QVERIFY(sim->SMP().Generation() > before);

    // "No": nothing happens at all.
    dialogs->answers = {Button::No};
    window->deviceCommands().DeviceBurnActionExecute();
    QVERIFY(!window->deviceController().commandRunning());
    QCOMPARE(takeAsked().size(), 1);

    // A project larger than the module is refused before anything is erased.
    const uint64_t kept = sim->SMP().Generation();
    addPrograms(programs(), {{0, u"БОЛЬШАЯ", {}, ProgramImage(sim->SMP().Geometry().size(), 0x11)}});
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    expectIdle();
    QCOMPARE(dialogs->asked.last().icon, QMessageBox::Warning);
    QCOMPARE(takeAsked().last(), QStringLiteral("Записать в МП|В МП недостаточно места для записи проекта."));
    QCOMPARE(sim->SMP().Generation(), kept);
  }

  // A text program that cannot be converted stops the write or the comparison before the module
  // is touched; the message names the program and the line, the entry is current and marked, its
  // failing line selected in the middle of the editor.
  void conversionFailureSelectsTheEntry_data() {
    QTest::addColumn<bool>("write");
    QTest::newRow("Записать проект в МП") << true;
    QTest::newRow("Сверить с МП") << false;
  }
  void conversionFailureSelectsTheEntry() {
    QFETCH(bool, write);
    open(true);
    ProgramText bad;
    for (int i = 0; i < 200; ++i) bad.push_back(u"G01 X" + QString::number(i).toStdU16String());
    bad[120] = u"G01 Xя";
    addPrograms(programs(), {{0, u"ХОРОШАЯ", {u"G01 X1"}, {}}, {1, u"ПЛОХАЯ", bad, {}}});
    const uint64_t kept = sim->SMP().Generation();
    const uint64_t reads = sim->SMP().OperationCount(kalvort::sim::ModuleOp::Read);
    dialogs->answers = {Button::Yes};
    QVERIFY(run(write ? &DeviceCommands::DeviceBurnActionExecute : &DeviceCommands::DeviceVerifyActionExecute));
    expectIdle();
    QStringList asked = takeAsked();
    if (write) QCOMPARE(asked.takeFirst(), QStringLiteral("Предупреждение|Записать проект на модуль?"));
    QCOMPARE(asked, QStringList{"Проверка|Неверный символ\nПрограмма 2 (ПЛОХАЯ), строка 121"});
    QCOMPARE(sim->SMP().Generation(), kept);
    QCOMPARE(sim->SMP().OperationCount(kalvort::sim::ModuleOp::Read), reads);
    QVERIFY(!window->deviceCommands().verifyForm() || !window->deviceCommands().verifyForm()->isVisible());
    QCOMPARE(window->projectDocument().currentEntryIndex(), 1);
    QCOMPARE(programs().Catalog(1).file_error_code, kalvort::feProcessError);
    QCOMPARE(EditorOf(*window)->textCursor().selectedText(), QStringLiteral("G01 Xя"));
    // In the middle of the view, not at its edge.
    const int middle = EditorOf(*window)->viewport()->height() / 2;
    const int lineHeight = EditorOf(*window)->fontMetrics().height();
    QVERIFY2(qAbs(EditorOf(*window)->cursorRect().center().y() - middle) <= lineHeight,
             qPrintable(QString::number(EditorOf(*window)->cursorRect().center().y()) + " vs " + QString::number(middle)));
    QVERIFY(!window->editorPane().textChanged());
    const int row = window->catalogPane().rowOf(1);
    QCOMPARE(window->catalogPane().selectedRows(), QList<int>{row});
    QVERIFY(window->catalogPane().model().cellText(row, 0).startsWith(QLatin1Char('!')));
  }

  // A write that fails at a program names it and the cause, and says the module now holds part
  // of the project; a read that fails names the program it stopped at.
  void failedStepNamesTheProgram() {
    open(true);
    const std::vector<Program> three = {{0, u"P0", {}, ProgramImage(200, 0x10)},
                                        {1, u"P1", {}, ProgramImage(200, 0x20)},
                                        {2, u"P2", {}, ProgramImage(200, 0x30)}};
    // A good write first, counting the module's write operations: the last one writes the last
    // program (each program is one page).
    addPrograms(programs(), three);
    const auto writes = [&] { return sim->SMP().OperationCount(kalvort::sim::ModuleOp::Write); };
    const uint64_t before = writes();
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    const uint64_t all = writes() - before;
    takeAsked();

    // The third program fails.
    sim->SMP().FailOperation(kalvort::sim::ModuleOp::Write, static_cast<int>(all - 1), -1);
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    expectIdle();
    QCOMPARE(dialogs->asked.last().icon, QMessageBox::Warning);
    QString shown = takeAsked().last();
    QVERIFY2(shown.startsWith(QStringLiteral("Ошибка|Ошибка записи программы\nПрограмма 3 (P2): ")), qPrintable(shown));
    QVERIFY2(shown.endsWith(QStringLiteral("\nСодержимое МП неполное.")), qPrintable(shown));
    QCOMPARE(shown.count(QLatin1Char('\n')), 2);

    sim->SMP().ClearFaults();
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    takeAsked();
    // Likewise a good read, then one whose last read operation (the last program) fails.
    const uint64_t reads = sim->SMP().OperationCount(kalvort::sim::ModuleOp::Read);
    window->projectDocument().setChanged(false);
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    const uint64_t allReads = sim->SMP().OperationCount(kalvort::sim::ModuleOp::Read) - reads;
    QCOMPARE(programs().CatalogCount(), 3);
    sim->SMP().FailOperation(kalvort::sim::ModuleOp::Read, static_cast<int>(allReads - 1), -1);
    window->projectDocument().setChanged(false);
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    shown = takeAsked().last();
    QVERIFY2(shown.startsWith(QStringLiteral("Ошибка|Ошибка чтения программы\nПрограмма 3 (P2): ")), qPrintable(shown));
    QVERIFY2(!shown.contains(QStringLiteral("неполное")), qPrintable(shown));
  }

  // A finished command says what it did in the status bar for a few seconds, the panels kept in
  // view; a project's progress shows the program and a bar over all its bytes.
  void summariesAndOverallProgress() {
    open(false);
    const std::vector<Program> three = {{0, u"P0", {}, ProgramImage(300, 0x10)},
                                        {1, u"P1", {}, ProgramImage(1000, 0x20)},
                                        {4, u"P4", {}, ProgramImage(40, 0x30)}};
    addPrograms(programs(), three);
    const auto summary = [&] {
      return window->statusLine().summary();
    };
    const auto expectShown = [&](const QString &text) {
      QCOMPARE(summary(), text);
      QVERIFY(window->statusLine().summaryShown());
      QCOMPARE(window->statusLine().summaryMs(), 5000);
      QVERIFY(window->statusLine().panelsVisible());
    };

    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    expectIdle();
    expectShown(QStringLiteral("Проект записан в МП: 3 программ, 1340 байт"));
    QVERIFY(progress().overallShown());
    const auto *programsLine = NamedChild<QLabel>(progress(), "ProgramsLabel");
    QCOMPARE(programsLine->text(), QStringLiteral("Программа 3 из 3"));
    QCOMPARE(NamedChild<QProgressBar>(progress(), "TotalBar")->value(), 100);

    window->projectDocument().setChanged(false);
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    expectShown(QStringLiteral("Проект прочитан из МП: 3 программ, 1340 байт"));
    QCOMPARE(programsLine->text(), QStringLiteral("Программа 3 из 3"));

    const QString dir = QDir::tempPath() + "/kalvort-summary-" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    dialogs->files = {dir + "/module.bin"};
    QVERIFY(run(&DeviceCommands::DeviceReadImageActionExecute));
    expectIdle();
    const qint64 size = QFileInfo(dir + "/module.bin").size();
    QVERIFY(size > 0);
    expectShown(QStringLiteral("Образ МП прочитан: %1 байт").arg(size));
    QVERIFY(!progress().overallShown());
    dialogs->files = {dir + "/module.bin"};
    QVERIFY(run(&DeviceCommands::DeviceBurnImageActionExecute));
    expectIdle();
    expectShown(QStringLiteral("Образ записан в МП: %1 байт").arg(size));
    QDir(dir).removeRecursively();

    dialogs->answers = {Button::Ok};
    QVERIFY(run(&DeviceCommands::DeviceClearSMPCatActionExecute));
    expectShown(QStringLiteral("МП очищен"));
    dialogs->answers = {Button::Ok};
    QVERIFY(run(&DeviceCommands::DeviceTestSMPQuickActionExecute));
    expectShown(QStringLiteral("Тест МП завершен"));
    QVERIFY(!progress().overallShown());
    takeAsked();
  }

  // A control-sum error on a program other than the last asks; Cancel ends the read there. On
  // the last program nothing is asked. Either way the entry is kept and marked.
  void controlSumErrors() {
    open(true);
    const std::vector<Program> three = {{0, u"P0", {}, ProgramImage(300, 0x10)},
                                        {1, u"P1", {}, ProgramImage(300, 0x20)},
                                        {2, u"P2", {}, ProgramImage(300, 0x30)}};
    addPrograms(programs(), three);
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    takeAsked();
    const uint32_t page = static_cast<uint32_t>(sim->SMP().Geometry().page_size);
    const uint32_t middle = programs().Catalog(1).first_page * page;
    const uint32_t last = programs().Catalog(2).first_page * page;

    sim->SMP().CorruptByte(middle + 5, 0x00);
    programs().CatalogClear();
    dialogs->answers = {Button::Cancel};
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    QCOMPARE(dialogs->asked.size(), 1);
    QCOMPARE(dialogs->asked[0].icon, QMessageBox::Warning);
    QCOMPARE(dialogs->asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(takeAsked(), QStringList{"Чтение файла|Ошибка чтения файла! Продолжить?"});
    QCOMPARE(programs().CatalogCount(), 3);
    QCOMPARE(programs().Catalog(1).file_error_code, kalvort::feCSError);
    QVERIFY(window->catalogPane().model().cellText(window->catalogPane().rowOf(1), 0).startsWith(QLatin1Char('!')));
    QVERIFY(programs().Catalog(1).file_bin_valid);
    QVERIFY(!programs().Catalog(2).file_bin_valid);  // not read after Cancel
    QVERIFY(window->projectDocument().changed());

    sim->SMP().ClearFaults();
    sim->SMP().CorruptByte(last + 5, 0x00);
    programs().CatalogClear();
    window->projectDocument().setChanged(false);
    QVERIFY(run(&DeviceCommands::DeviceRereadActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{});
    QCOMPARE(programs().Catalog(2).file_error_code, kalvort::feCSError);
    QVERIFY(programs().Catalog(1).file_error_code == kalvort::feOK);
  }

  void eraseAndTestMessages() {
    open(false);
    struct Case {
      void (DeviceCommands::*command)();
      const char *title, *question, *caption, *done_title, *done_text;
    };
    const Case cases[] = {
        {&DeviceCommands::DeviceClearSMPCatActionExecute, "Быстрая очистка МП", "Очистить МП?", "Быстрая очистка МП...",
         "Очистка МП", "Очистка МП завершена"},
        {&DeviceCommands::DeviceTestSMPQuickActionExecute, "Быстрая проверка МП", "Тестировать МП?\nСодержимое МП будет стерто.",
         "Быстрый тест МП...", "Тест МП", "Тест МП завершен. Ошибок нет."},
    };
    for (const Case &c : cases) {
      // Cancel at the question: nothing runs.
      dialogs->answers = {Button::Cancel};
      QVERIFY(run(c.command));
      expectIdle();
      // Both overwrite the module: the question's default does nothing.
      QCOMPARE(dialogs->asked.first().defaultButton, QMessageBox::Cancel);
      QCOMPARE(takeAsked(), QStringList{QString::fromUtf8(c.title) + "|" + QString::fromUtf8(c.question)});

      dialogs->answers = {Button::Ok};
      QVERIFY(run(c.command));
      expectIdle();
      QCOMPARE(dialogs->asked.last().icon, QMessageBox::NoIcon);
      QCOMPARE(takeAsked(), (QStringList{QString::fromUtf8(c.title) + "|" + QString::fromUtf8(c.question),
                                         QString::fromUtf8(c.done_title) + "|" + QString::fromUtf8(c.done_text)}));
      QCOMPARE(progress().caption(), QString::fromUtf8(c.caption));
      // The USB programmer's module is "ВМП-", and the small module's size has no word.
      QCOMPARE(progress().statusText(), QStringLiteral("ВМП-???? "));
    }
  }

  void eraseFailureAndMissingModule() {
    open(true);
    sim->SMP().FailOperation(kalvort::sim::ModuleOp::Erase, 0, -1);
    dialogs->answers = {Button::Ok};
    QVERIFY(run(&DeviceCommands::DeviceClearSMPCatActionExecute));
    expectIdle();
    QCOMPARE(progress().statusText(), QStringLiteral("СМП-???? "));
    QCOMPARE(dialogs->asked.last().icon, QMessageBox::Warning);
    QVERIFY(takeAsked().last().startsWith(QStringLiteral("Очистка МП|Операция завершена с ошибкой\nПричина: ")));

    sim->SMP().Remove();
    QVERIFY(run(&DeviceCommands::DeviceTestSMPQuickActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{"Быстрая проверка МП|МП не подключен"});
  }

  // The earlier image file survives a cancelled question, a cancelled read and a failed read.
  void imageReadKeepsTheOldFileUnlessItSucceeds() {
    open(true);
    const QString dir = QDir::tempPath() + "/kalvort-image-" + QString::number(QCoreApplication::applicationPid());
    QDir().mkpath(dir);
    const QString file = dir + "/module.bin";
    writeFile(file, "earlier image");

    dialogs->files = {file};
    dialogs->answers = {Button::Cancel};
    QVERIFY(run(&DeviceCommands::DeviceReadImageActionExecute));
    expectIdle();
    QCOMPARE(dialogs->asked.first().defaultButton, QMessageBox::Cancel);
    QCOMPARE(takeAsked(), QStringList{"Чтение образа|Такой файл существует. Перезаписать?"});
    QCOMPARE(dialogs->fileCaptions.last(), QStringLiteral("Сохранение файла"));
    QCOMPARE(fileBytes(file), QByteArray("earlier image"));

    // Cancelled while reading (slowed down so that it is still reading when cancelled).
    kalvort::sim::UrvellFaults slow;
    slow.delay_ms = 2;
    sim->SetFaults(slow);
    dialogs->files = {file};
    dialogs->answers = {Button::Ok};
    window->deviceCommands().DeviceReadImageActionExecute();
    QVERIFY(WaitFor([&] { return progressMade() && progress().position() > 0; }, 20000));
    QVERIFY(progress().isVisible() && progress().isEnabled() && !window->isEnabled());
    QCOMPARE(progress().caption(), QStringLiteral("Чтение образа с МП..."));
    QCOMPARE(progress().statusText(), QStringLiteral("module.bin"));
    NamedChild<QPushButton>(progress(), "CancelButton")->click();
    QVERIFY(WaitFor([&] { return !window->deviceController().commandRunning(); }, 20000));
    expectIdle();
    QCOMPARE(takeAsked().last(), QStringLiteral("Отмена|Текущее действие отменено"));
    QCOMPARE(fileBytes(file), QByteArray("earlier image"));

    // Failed.
    sim->SetFaults({});
    sim->SMP().FailOperation(kalvort::sim::ModuleOp::Read, 3, -1);
    dialogs->files = {file};
    dialogs->answers = {Button::Ok};
    QVERIFY(run(&DeviceCommands::DeviceReadImageActionExecute));
    expectIdle();
    QVERIFY(takeAsked().last().startsWith(QStringLiteral("Ошибка|Ошибка чтения образа с МП\nПричина: ")));
    QCOMPARE(fileBytes(file), QByteArray("earlier image"));
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"module.bin"});  // no temporary left behind

    // Succeeded: the module's bytes, the name given a default extension.
    sim->SMP().ClearFaults();
    dialogs->files = {dir + "/copy"};
    QVERIFY(run(&DeviceCommands::DeviceReadImageActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{});
    const std::vector<uint8_t> contents = sim->SMP().Contents();
    QCOMPARE(fileBytes(dir + "/copy.bin"), QByteArray(reinterpret_cast<const char *>(contents.data()),
                                                      static_cast<qsizetype>(contents.size())));

    // Writing an empty or oversized image is refused before the module is erased.
    const uint64_t kept = sim->SMP().Generation();
    writeFile(dir + "/empty.bin", QByteArray());
    writeFile(dir + "/big.bin", QByteArray(static_cast<qsizetype>(contents.size()) + 1, 'x'));
    dialogs->files = {dir + "/empty.bin", dir + "/big.bin"};
    QVERIFY(run(&DeviceCommands::DeviceBurnImageActionExecute));
    QVERIFY(run(&DeviceCommands::DeviceBurnImageActionExecute));
    expectIdle();
    const QStringList refused = takeAsked();
    QCOMPARE(refused.size(), 2);
    QCOMPARE(refused[0], QStringLiteral("Записать образ на МП|Файл образа пуст."));
    QVERIFY(refused[1].startsWith(QStringLiteral("Записать образ на МП|Образ больше МП: ")));
    QCOMPARE(sim->SMP().Generation(), kept);

    // Cancelling the file dialog leaves the window idle.
    dialogs->files.clear();
    QVERIFY(run(&DeviceCommands::DeviceBurnImageActionExecute));
    QVERIFY(run(&DeviceCommands::DeviceReadImageActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{});
    QDir(dir).removeRecursively();
  }

  // "Отмена" in the progress window during a write.
  void cancelInTheMiddleOfAWrite() {
    QVERIFY(startSlowWriteOfTwentyPrograms());
    QVERIFY(!window->isEnabled());
    QVERIFY(!window->deviceController().polling());
    NamedChild<QPushButton>(progress(), "CancelButton")->click();
    QVERIFY(WaitFor([&] { return !window->deviceController().commandRunning(); }, 20000));
    expectIdle();
    QCOMPARE(dialogs->asked.last().icon, QMessageBox::NoIcon);
    // The module holds the first programs only.
    QCOMPARE(takeAsked(), (QStringList{"Предупреждение|Записать проект на модуль?",
                                       "Отмена|Текущее действие отменено\nСодержимое МП неполное."}));
    QCOMPARE(window->projectDocument().currentEntryIndex(), 0);
  }

  // A command given while a status poll is in flight goes on behind the poll: the window's thread
  // returns at once, without running an event loop of its own meanwhile.
  void commandBehindAPollInFlightStartsWithoutANestedLoop() {
    open(false);
    addPrograms(programs(), kC42);
    window->deviceController().poll();
    QVERIFY(window->deviceController().pendingJobs() > 0);  // the poll's result has not come back yet
    int loops = 0;
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    const auto count = [&] { ++loops; };
    const QMetaObject::Connection blocked = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, count);
    const QMetaObject::Connection woken = connect(dispatcher, &QAbstractEventDispatcher::awake, count);
    QElapsedTimer clock;
    clock.start();
    window->deviceCommands().DeviceVerifyActionExecute();
    const qint64 took = clock.elapsed();
    disconnect(blocked);
    disconnect(woken);
    QCOMPARE(loops, 0);
    QVERIFY2(took < 100, qPrintable(QString::number(took)));
    QVERIFY(window->deviceController().commandRunning());
    QVERIFY(!window->isEnabled());
    QVERIFY(WaitFor([&] { return !window->deviceController().commandRunning(); }, 20000));
    expectIdle();
    QVERIFY(window->deviceCommands().verifyForm() && window->deviceCommands().verifyForm()->isVisible());
    QCOMPARE(programs().CatalogCount(), 3);  // the project stays as it was
  }

  // Letting a running command go does not wait for its chain: the chain is cancelled, returns on
  // the worker and what it still reports is dropped; the window and the device go cleanly after.
  void lettingARunningCommandGoDoesNotWait() {
    QVERIFY(startSlowWriteOfTwentyPrograms());
    QElapsedTimer clock;
    clock.start();
    window->deviceController().endCommand();
    const qint64 took = clock.elapsed();
    QVERIFY2(took < 20, qPrintable(QString::number(took)));
    QVERIFY(window->deviceController().pendingJobs() > 0);  // the chain has not returned yet
    QVERIFY(WaitFor([&] { return window->deviceController().pendingJobs() == 0; }, 20000));
    QCOMPARE(takeAsked(), QStringList{"Предупреждение|Записать проект на модуль?"});  // no outcome shown
    window.reset();
  }

  // "Сверить с МП": the project stays the project; differences are listed.
  void verify() {
    open(false);
    addPrograms(programs(), kC42);
    dialogs->answers = {Button::Yes};
    QVERIFY(run(&DeviceCommands::DeviceBurnActionExecute));
    takeAsked();
    QVERIFY(run(&DeviceCommands::DeviceVerifyActionExecute));
    expectIdle();
    QCOMPARE(takeAsked(), QStringList{});
    QVERIFY(window->deviceCommands().verifyForm() && window->deviceCommands().verifyForm()->isVisible());
    QCOMPARE(NamedChild<QLabel>(*window->deviceCommands().verifyForm(), "SummaryLabel")->text(),
             QStringLiteral("Проект и МП совпадают."));
    window->deviceCommands().verifyForm()->accept();

    int binIndex = 0;  // the write may have renumbered the entries
    while (programs().Catalog(binIndex).need_p_proc) ++binIndex;
    TDevCatalogEntry bin = programs().Catalog(binIndex);
    bin.p_buffer = std::make_shared<ProgramImage>(700, 0x5B);
    programs().SetCatalog(binIndex, bin);
    QVERIFY(run(&DeviceCommands::DeviceVerifyActionExecute));
    QCOMPARE(programs().CatalogCount(), 3);
    QVERIFY(BytesOf(programs().Catalog(binIndex)) == ProgramImage(700, 0x5B));  // the project, not the module
    // Control sum and bytes differ, both for that program only.
    const auto *diffGrid = NamedChild<QTableWidget>(*window->deviceCommands().verifyForm(), "DiffGrid");
    QCOMPARE(diffGrid->rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
      QCOMPARE(diffGrid->item(row, 0)->text(),
               QString::number(programs().Catalog(binIndex).cat_num + 1));  // numbered from 1
      QCOMPARE(diffGrid->item(row, 1)->text(), QStringLiteral("BIN"));
    }
    window->deviceCommands().verifyForm()->accept();
  }

  // The network dialog from the main window: Отмена restores the list, OK refills the selector.
  void networkDialog() {
    open(false);
    const auto usb = window->deviceController().session();
    window->setNetworkDevices({{"127.0.0.21", u"А"}, {"127.0.0.22", u"Б"}, {"127.0.0.23", u"В"}});
    const auto before = window->networkDevices();
    // Acts on the dialog once it is really shown (the command may first wait for a status poll);
    // no check runs inside, so nothing can leave the modal dialog open.
    const auto whenShown = [this](std::function<void(NetSettingsDialog *)> act) {
      auto *timer = new QTimer(window.get());
      connect(timer, &QTimer::timeout, timer, [this, timer, act] {
        NetSettingsDialog *f = window->deviceCommands().netSettingsForm();
        if (!f || !f->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(f);
      });
      timer->start(10);
    };
    bool pollStopped = false;
    size_t countWhileOpen = 0;
    whenShown([&](NetSettingsDialog *f) {
      pollStopped = !window->deviceController().polling();
      NamedChild<QTableWidget>(*f, "DeviceTable")->setCurrentCell(1, 0);
      NamedChild<QPushButton>(*f, "DelButton")->click();
      NamedChild<kalvort::app::Ipv4Edit>(*f, "IpEdit")->setAddress("127.0.0.30");
      NamedChild<QPushButton>(*f, "AddButton")->click();
      countWhileOpen = window->networkDevices().size();
      NamedChild<QPushButton>(*f, "CancelButton")->click();
    });
    window->deviceCommands().DeviceNetworkActionExecute();
    QVERIFY(pollStopped);
    QCOMPARE(countWhileOpen, size_t(3));
    QVERIFY(window->networkDevices() == before);
    QVERIFY(window->deviceController().polling());

    whenShown([&](NetSettingsDialog *f) {
      NamedChild<QPushButton>(*f, "ClearButton")->click();
      NamedChild<kalvort::app::Ipv4Edit>(*f, "IpEdit")->setAddress("127.0.0.40");
      NamedChild<QLineEdit>(*f, "NameEdit")->setText("Станок");
      NamedChild<QPushButton>(*f, "AddButton")->click();
      NamedChild<QPushButton>(*f, "OkButton")->click();
    });
    window->deviceCommands().DeviceNetworkActionExecute();
    QVERIFY(window->networkDevices() == (std::vector<kalvort::TNetDevice>{{"127.0.0.40", u"Станок"}}));
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(*window)->count(), 3);
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(*window)->currentIndex(), 0);
    QCOMPARE(kalvort::apptest::DeviceSelectorOf(*window)->itemText(1), QStringLiteral("СМП на Урвелл - Станок"));
    QCOMPARE(window->deviceController().session(), usb);  // the device changes only when the user picks one
    QVERIFY(window->deviceController().polling());
  }
};

int main(int argc, char **argv) {
  QTemporaryDir root;
  kalvort::apptest::UseTemporaryFolders(root.path());
  qputenv("KALVORT_VIRTUAL_KIND", "1");  // the small module: quick erases and tests
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("KALVORT_LOOPBACK_ONLY", "1");
  QApplication app(argc, argv);
  DeviceCommandsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "DeviceCommandsTest.moc"
