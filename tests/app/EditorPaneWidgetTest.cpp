// The editor pane on its own, without a main window: the changed flag, what each way of showing
// leaves editable, the commands the window's rule enables, the requests it passes on, and the edits
// of "Выполнить действие" for each project type.

#include <QAction>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "dialogs/ProgressWindow.h"
#include "support/AppTest.h"
#include "support/EditorWidgets.h"
#include "support/ScriptedDialogs.h"
#include "window/EditorPane.h"

using kalvort::ProgramText;
using kalvort::apptest::ActionNamed;
using kalvort::apptest::ActionSelectorOf;
using kalvort::apptest::EditorOf;
using kalvort::workflow::Command;
using kalvort::workflow::CommandSet;

class EditorPaneWidgetTest : public QObject {
  Q_OBJECT

  ScriptedDialogs dialogs;
  std::unique_ptr<ProgressWindow> progress;
  std::unique_ptr<EditorPane> pane;
  int project_type = 0;

 private slots:
  void init() {
    dialogs = ScriptedDialogs();
    progress = std::make_unique<ProgressWindow>();
    project_type = 0;
    EditorPane::Services services{[this]() -> ProgressWindow & { return *progress; }, [this] { return project_type; }, {}};
    pane = std::make_unique<EditorPane>(dialogs, std::move(services));
  }
  void cleanup() {
    pane.reset();
    progress.reset();
  }

  // Filling the editor is not an edit; typing is, once, until the next text is shown.
  void typingMarksTheTextChangedAndShowingClearsIt() {
    QSignalSpy edited(pane.get(), &EditorPane::textEdited);
    pane->showProgramText({u"G01", u"M30"});
    QVERIFY(!pane->textChanged());
    QCOMPARE(edited.count(), 0);
    QCOMPARE(pane->lines(), (QStringList{"G01", "M30"}));

    QTest::keyClicks(EditorOf(*pane), QStringLiteral("N1 "));
    QVERIFY(pane->textChanged());
    QCOMPARE(edited.count(), 1);
    QCOMPARE(pane->lines(), (QStringList{"N1 G01", "M30"}));

    pane->showProgramText({u"G02"});
    QVERIFY(!pane->textChanged());
    QCOMPARE(edited.count(), 1);
    QTest::keyClicks(EditorOf(*pane), QStringLiteral("X"));
    QCOMPARE(edited.count(), 2);
  }

  // Only a program's text can be typed into; the dump and the raw bytes are views.
  void onlyProgramTextIsEditable() {
    const uint8_t bytes[] = {'G', '1', 0x01, '\r', '\n', 'M'};
    const struct {
      const char *what;
      std::function<void()> show;
      EditorPane::View view;
    } cases[] = {
        {"text", [&] { pane->showProgramText({u"G01"}); }, EditorPane::View::Text},
        {"hex", [&] { pane->showHex(bytes, sizeof bytes); }, EditorPane::View::Hex},
        {"raw", [&] { pane->showRawBytes(bytes, sizeof bytes); }, EditorPane::View::Raw},
        {"nothing", [&] { pane->showNothing(); }, EditorPane::View::None},
    };
    for (const auto &c : cases) {
      c.show();
      QVERIFY2(pane->view() == c.view, c.what);
      QCOMPARE(EditorOf(*pane)->isReadOnly(), c.view != EditorPane::View::Text);
    }
    pane->showHex(bytes, sizeof bytes);
    QCOMPARE(pane->lines(), QStringList{"000000: 47 31 01 0D 0A 4D "});
  }

  // Each command of the rule enables its own action and no other.
  void eachCommandEnablesItsOwnAction() {
    const std::pair<Command, const char *> commands[] = {
        {Command::RunEdit, "EditorRunAction"},           {Command::CheckFile, "CheckFileAction"},
        {Command::ConfirmText, "EditorOkAction"},        {Command::DiscardText, "EditorCancelAction"},
        {Command::Find, "EditorSearchAction"},           {Command::Replace, "EditorReplaceAction"},
        {Command::ZoomIn, "EditorZoomInAction"},         {Command::ZoomOut, "EditorZoomOutAction"},
        {Command::OpenTextFile, "EditorOpenFileAction"}, {Command::SaveTextFile, "EditorSaveFileAction"},
        {Command::Cut, "EditorCutAction"},               {Command::Copy, "EditorCopyAction"},
        {Command::Paste, "EditorPasteAction"},           {Command::SelectAll, "EditorSelectAllAction"},
        {Command::Undo, "EditorUndoAction"},
    };
    QCOMPARE(pane->commandActions().size(), int(std::size(commands)));
    for (const auto &[command, name] : commands) {
      CommandSet set;
      set.set(static_cast<size_t>(command));
      pane->applyCommands(set);
      QStringList enabled;
      for (QAction *a : pane->commandActions())
        if (a->isEnabled()) enabled << a->objectName();
      QCOMPARE(enabled, QStringList{QString::fromLatin1(name)});
      QVERIFY(!ActionSelectorOf(*pane)->isEnabled());
    }
    CommandSet selector;
    selector.set(static_cast<size_t>(Command::EditSelector));
    pane->applyCommands(selector);
    QVERIFY(ActionSelectorOf(*pane)->isEnabled());
  }

  // The commands that need the project reach the window as requests, each as its own.
  void projectCommandsAreRequests() {
    const std::pair<const char *, void (EditorPane::*)()> requests[] = {
        {"EditorOkAction", &EditorPane::confirmRequested},
        {"EditorCancelAction", &EditorPane::discardRequested},
        {"CheckFileAction", &EditorPane::checkRequested},
        {"EditorOpenFileAction", &EditorPane::openFileRequested},
        {"EditorSaveFileAction", &EditorPane::saveFileRequested},
    };
    for (const auto &[name, signal] : requests) {
      std::vector<std::unique_ptr<QSignalSpy>> spies;
      for (const auto &request : requests)
        spies.push_back(std::make_unique<QSignalSpy>(pane.get(), request.second));
      ActionNamed(*pane, name)->trigger();
      for (size_t i = 0; i < spies.size(); ++i)
        QCOMPARE(spies[i]->count(), requests[i].first == name ? 1 : 0);
    }
    QSignalSpy hex(pane.get(), &EditorPane::hexViewToggled);
    ActionNamed(*pane, "HexViewAction")->trigger();
    QVERIFY(pane->hexView());
    QCOMPARE(hex.value(0).value(0).toBool(), true);
    QVERIFY(!pane->textChanged());  // a request leaves the text as it is
  }

  // The selector offers the edits of the project type; the choice picks the edit that runs.
  void runAppliesTheChosenEditOfTheProjectType() {
    const struct {
      int type, choice;
      ProgramText before;
      QStringList after;
    } cases[] = {
        {0, 0, {u"G01", u"X1"}, {"G01^", "X1^"}},
        {0, 1, {u"G01^", u"X1^"}, {"G01", "X1"}},
        {1, 0, {u"N5 G01", u"N6 X1"}, {"G01", "X1"}},
        {1, 1, {u"N5 G01", u"X1"}, {"N0 G01", "N1 X1"}},
    };
    for (const auto &c : cases) {
      project_type = c.type;
      pane->fillActionSelector(c.type);
      ActionSelectorOf(*pane)->setCurrentIndex(c.choice);
      pane->showProgramText(c.before);
      QSignalSpy edited(pane.get(), &EditorPane::textEdited);
      ActionNamed(*pane, "EditorRunAction")->trigger();
      QCOMPARE(pane->lines(), c.after);
      QVERIFY(pane->textChanged());
      QVERIFY(edited.count() >= 1);
      QVERIFY(!progress->isVisible());
    }
    // A type without edits: nothing to choose, nothing to run; the settings keep their index.
    pane->setSavedAction(2);
    pane->fillActionSelector(2);
    QVERIFY(!ActionSelectorOf(*pane)->isEnabled());
    QVERIFY(!ActionNamed(*pane, "EditorRunAction")->isEnabled());
    QCOMPARE(pane->savedAction(), 2);
  }
};

KALVORT_APP_TEST_MAIN(EditorPaneWidgetTest)
#include "EditorPaneWidgetTest.moc"
