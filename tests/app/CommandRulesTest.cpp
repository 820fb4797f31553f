// Which commands the status poll enables: without a device, with an empty catalog, with entries,
// with unconfirmed editor text, and by the selected catalog rows.

#include <QAction>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QMenuBar>
#include <QTableView>
#include <QToolBar>

#include "support/AppTest.h"
#include "support/EditorWidgets.h"
#include "support/ScriptedDialogs.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/DeviceController.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "workflow/DeviceSession.h"

using kalvort::apptest::ActionNamed;
using kalvort::apptest::ActionSelectorOf;
using kalvort::apptest::EditorOf;
using kalvort::apptest::ToolBarNamed;
using kalvort::apptest::WaitForDeviceStatus;

namespace {

// Names of the enabled actions of a list.
QStringList Enabled(const QList<QAction *> &actions) {
  QStringList names;
  for (QAction *a : actions)
    if (a->isEnabled()) names << a->objectName();
  names.sort();
  return names;
}

QStringList Sorted(QStringList names) {
  names.sort();
  return names;
}

const QStringList kDeviceCommands = {"DeviceRereadAction", "DeviceBurnAction", "DeviceClearSMPCatAction",
                                     "DeviceClearSMPFullAction", "DeviceTestSMPQuickAction",
                                     "DeviceTestSMPFullAction", "DeviceReadImageAction", "DeviceBurnImageAction",
                                     "DeviceVerifyAction"};

}  // namespace

class CommandRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutDeviceOnlySettingsAndNetworkSearch() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(!window.deviceController().hasDevice());
    window.updateCommandStates();
    QCOMPARE(Enabled(window.mainActions()), Sorted({"OptionsAction", "DeviceNetworkAction"}));
    QCOMPARE(Enabled(window.editorPane().commandActions()), QStringList());
  }

  void emptyCatalog() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    QCOMPARE(Enabled(window.editorPane().commandActions()), QStringList());
    for (QAction *a : {kalvort::apptest::ActionNamed(window, "CheckAllFilesAction"), ActionNamed(window, "RemFileFromCatalog"),
                       ActionNamed(window, "FilePropCatalog"), ActionNamed(window, "FileUpCatalog"),
                       ActionNamed(window, "FileDownCatalog")}) {
      QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    }
    QVERIFY(ActionNamed(window, "AddFileToCatalog")->isEnabled());
    QVERIFY(ActionNamed(window, "AddNewFileToCatalog")->isEnabled());
    QVERIFY(EditorOf(window)->isReadOnly());
    for (const QString &name : kDeviceCommands) QVERIFY2(window.findChild<QAction *>(name)->isEnabled(), qPrintable(name));
  }

  void entriesSelectionAndEditorText() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    QVERIFY(WaitForDeviceStatus(window));
    window.deviceController().stopPolling();  // the rules are applied by hand below
    for (int i = 0; i < 3; ++i) kalvort::apptest::AddProgram(window, 100, true);
    window.catalogPane().refresh();

    struct Selection {
      int top, bottom;
      bool up, down;
    };
    for (const Selection &s : {Selection{0, 0, false, true}, Selection{1, 1, true, true},
                               Selection{2, 2, true, false}, Selection{0, 2, false, false},
                               Selection{1, 2, true, false}}) {
      window.catalogPane().selectRows(s.top, s.bottom, false);
      window.updateCommandStates();
      QCOMPARE(ActionNamed(window, "FileUpCatalog")->isEnabled(), s.up);
      QCOMPARE(ActionNamed(window, "FileDownCatalog")->isEnabled(), s.down);
    }
    QVERIFY(kalvort::apptest::ActionNamed(window, "ProjectSaveAction")->isEnabled());
    QVERIFY(!ActionNamed(window, "EditorOkAction")->isEnabled());

    // The current entry decides Run and Check file.
    kalvort::TDevCatalogEntry entry = window.projectDocument().programs().Catalog(0);
    entry.file_txt_valid = false;
    window.projectDocument().setCurrentEntry(entry);
    window.updateCommandStates();
    QVERIFY(ActionNamed(window, "EditorRunAction")->isEnabled());
    QVERIFY(ActionSelectorOf(window)->isEnabled());
    QVERIFY(!ActionNamed(window, "CheckFileAction")->isEnabled());
    window.projectDocument().options().processing.enabled = false;
    window.updateCommandStates();
    QVERIFY(!ActionNamed(window, "EditorRunAction")->isEnabled());
    window.projectDocument().options().processing.enabled = true;

    // Unconfirmed editor text: only settings and network search of the main commands.
    window.editorPane().setTextChanged(true);
    window.updateCommandStates();
    QCOMPARE(Enabled(window.mainActions()), Sorted({"OptionsAction", "DeviceNetworkAction"}));
    QVERIFY(ActionNamed(window, "EditorOkAction")->isEnabled());
    QVERIFY(ActionNamed(window, "EditorCancelAction")->isEnabled());
    QVERIFY(ActionNamed(window, "CheckFileAction")->isEnabled());
  }

  void everyActionHasCaptionHintAndAccessibleName() {
    ScriptedDialogs dialogs;
    MainWindow window(dialogs);
    const auto actions = window.findChildren<QAction *>();
    QVERIFY(actions.size() >= 41);
    for (QAction *a : actions) {
      if (a->isSeparator() || a->objectName().isEmpty()) continue;
      QVERIFY2(!a->text().isEmpty(), qPrintable(a->objectName()));
      QVERIFY2(!a->toolTip().isEmpty(), qPrintable(a->objectName()));
    }
    const struct {
      QAction *action;
      const char *caption;
      const char *hint;
      QKeySequence shortcut;
    } expected[] = {
        {kalvort::apptest::ActionNamed(window, "DeviceBurnAction"), "Записать в МП", "Записать в МП", QKeySequence("Ctrl+B")},
        {kalvort::apptest::ActionNamed(window, "DeviceRereadAction"), "Прочитать проект из МП", "Прочитать проект из МП", QKeySequence("Ctrl+R")},
        {kalvort::apptest::ActionNamed(window, "DeviceTestSMPQuickAction"), "Быстрая проверка МП", "Быстрая проверка МП", QKeySequence("Ctrl+Alt+Q")},
        {kalvort::apptest::ActionNamed(window, "DeviceTestSMPFullAction"), "Полная проверка МП", "Полная проверка МП", QKeySequence("Ctrl+Alt+F")},
        {kalvort::apptest::ActionNamed(window, "ProjectNewAction"), "Новый проект", "Создать новый проект", QKeySequence("Ctrl+N")},
        {kalvort::apptest::ActionNamed(window, "OptionsAction"), "Настройки", "Настройки", QKeySequence("Ctrl+T")},
        {ActionNamed(window, "AddFileToCatalog"), "Добавить файл в проект", "Добавить файл(ы)", QKeySequence("Ctrl+I")},
        {ActionNamed(window, "RemFileFromCatalog"), "Удалить файл из проекта", "Удалить файл(ы)", QKeySequence("Ctrl+X")},
        {ActionNamed(window, "FilePropCatalog"), "Свойства файла", "Свойства файла(ов)", QKeySequence("Alt+Return")},
        {ActionNamed(window, "EditorRunAction"), "Выполнить действие", "Выполнить действие", QKeySequence("Ctrl+G")},
        {ActionNamed(window, "EditorReplaceAction"), "Замена", "Замена", QKeySequence("Ctrl+H")},
        {kalvort::apptest::ActionNamed(window, "DeviceNetworkAction"), "Поиск сетевого устройства", "Поиск сетевого устройства", QKeySequence()},
    };
    for (const auto &e : expected) {
      QCOMPARE(e.action->iconText(), QString::fromUtf8(e.caption));
      QCOMPARE(e.action->toolTip(), QString::fromUtf8(e.hint));
      QCOMPARE(e.action->shortcut(), e.shortcut);
    }
    QCOMPARE(kalvort::apptest::ActionNamed(window, "DeviceBurnAction")->text(), QStringLiteral("Записать проект в МП"));
    // Tool buttons carry their command's caption as accessible name.
    QToolBar *catalogBar = window.findChild<QToolBar *>(QStringLiteral("Каталог"));
    QVERIFY(catalogBar);
    for (QToolBar *bar : {window.findChild<QToolBar *>(QStringLiteral("MainToolBar")), catalogBar, ToolBarNamed(window, "Файл программы"),
                          ToolBarNamed(window, "Правка")}) {
      for (QAction *a : bar->actions()) {
        QWidget *button = bar->widgetForAction(a);
        if (a->isSeparator() || a->objectName().isEmpty() || !button) continue;
        QCOMPARE(button->accessibleName(), a->iconText());
      }
    }
    QStringList menus;
    for (QAction *m : window.menuBar()->actions()) menus << m->text();
    QCOMPARE(menus, (QStringList{"Файл", "Проект", "Модуль памяти", "Редактор", "Помощь"}));
    QCOMPARE(window.catalogPane().model().headerData(0, Qt::Horizontal).toString(), QStringLiteral("№"));
    QCOMPARE(window.catalogPane().model().headerData(6, Qt::Horizontal).toString(), QStringLiteral("Дата"));
  }
};

KALVORT_APP_TEST_MAIN(CommandRulesTest)
#include "CommandRulesTest.moc"
