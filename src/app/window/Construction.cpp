// Builds the main window: every action with its caption, hint and shortcut, the menus, the tool
// bars, the splitter with the device selector, catalog list and editor, and the status line.

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "support/AppIcons.h"
#include "widgets/CodeEditor.h"
#include "window/MainWindow.h"

namespace {

struct ActionSpec {
  QAction *TKLV_main_form::*member;
  const char *name;      // object name: the action's name
  const char *caption;
  const char *hint;      // nullptr: the caption
  QKeySequence shortcut;
  const char *icon;      // freedesktop theme name; the bundled fall-back has the same name
};

// Shortcut of "Удалить файл из проекта" and "Вырезать" is the same Ctrl+X: each acts only where
// its pane has the focus (catalog list or editor), so neither makes the other ambiguous.
const ActionSpec kActions[] = {
    {&TKLV_main_form::DeviceRereadAction, "DeviceRereadAction", "Прочитать проект из МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_R), "document-import"},
    {&TKLV_main_form::DeviceBurnAction, "DeviceBurnAction", "Записать в МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_B), "document-export"},
    {&TKLV_main_form::DeviceClearSMPCatAction, "DeviceClearSMPCatAction", "Быстрая очистка МП", nullptr, {}, "edit-clear"},
    {&TKLV_main_form::DeviceClearSMPFullAction, "DeviceClearSMPFullAction", "Полная очистка МП", nullptr, {}, "edit-delete"},
    {&TKLV_main_form::DeviceTestSMPQuickAction, "DeviceTestSMPQuickAction", "Быстрая проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), "system-run"},
    {&TKLV_main_form::DeviceTestSMPFullAction, "DeviceTestSMPFullAction", "Полная проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), "system-run"},
    {&TKLV_main_form::DeviceReadImageAction, "DeviceReadImageAction", "Прочитать образ из МП", nullptr, {}, "go-down"},
    {&TKLV_main_form::DeviceBurnImageAction, "DeviceBurnImageAction", "Записать образ на МП", nullptr, {}, "go-up"},
    {&TKLV_main_form::DeviceVerifyAction, "DeviceVerifyAction", "Сверить с МП", nullptr, {}, "edit-find"},
    {&TKLV_main_form::DeviceCancelAction, "DeviceCancelAction", "Отменить текущее действие", nullptr, {}, "process-stop"},
    {&TKLV_main_form::DeviceNetworkAction, "DeviceNetworkAction", "Поиск сетевого устройства", nullptr, {}, "network-wired"},
    {&TKLV_main_form::ProjectNewAction, "ProjectNewAction", "Новый проект", "Создать новый проект", QKeySequence(Qt::CTRL | Qt::Key_N), "document-new"},
    {&TKLV_main_form::ProjectOpenAction, "ProjectOpenAction", "Открыть проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_O), "document-open"},
    {&TKLV_main_form::ProjectSaveAction, "ProjectSaveAction", "Сохранить проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_S), "document-save"},
    {&TKLV_main_form::OptionsAction, "OptionsAction", "Настройки", nullptr, QKeySequence(Qt::CTRL | Qt::Key_T), "preferences-system"},
    {&TKLV_main_form::CheckAllFilesAction, "CheckAllFilesAction", "Проверить проект", nullptr, {}, "tools-check-spelling"},
    {&TKLV_main_form::AddNewFileToCatalog, "AddNewFileToCatalog", "Создать файл в проекте", nullptr, QKeySequence(Qt::CTRL | Qt::Key_W), "document-new"},
    {&TKLV_main_form::AddFileToCatalog, "AddFileToCatalog", "Добавить файл в проект", "Добавить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_I), "list-add"},
    {&TKLV_main_form::RemFileFromCatalog, "RemFileFromCatalog", "Удалить файл из проекта", "Удалить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_X), "list-remove"},
    {&TKLV_main_form::FilePropCatalog, "FilePropCatalog", "Свойства файла", "Свойства файла(ов)", QKeySequence(Qt::ALT | Qt::Key_Return), "document-properties"},
    {&TKLV_main_form::FileUpCatalog, "FileUpCatalog", "Вверх по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_U), "go-up"},
    {&TKLV_main_form::FileDownCatalog, "FileDownCatalog", "Вниз по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_D), "go-down"},
    {&TKLV_main_form::SaveCatAsTxtAction, "SaveCatAsTxtAction", "Сохранить список файлов", nullptr, {}, "document-save-as"},
    {&TKLV_main_form::EditorRunAction, "EditorRunAction", "Выполнить действие", nullptr, QKeySequence(Qt::CTRL | Qt::Key_G), "media-playback-start"},
    {&TKLV_main_form::CheckFileAction, "CheckFileAction", "Проверить файл", nullptr, {}, "tools-check-spelling"},
    {&TKLV_main_form::EditorOkAction, "EditorOkAction", "Подтвердить изменения", nullptr, {}, "dialog-ok"},
    {&TKLV_main_form::EditorCancelAction, "EditorCancelAction", "Отменить изменения", nullptr, {}, "dialog-cancel"},
    {&TKLV_main_form::EditorSearchAction, "EditorSearchAction", "Поиск", nullptr, QKeySequence(Qt::CTRL | Qt::Key_F), "edit-find"},
    {&TKLV_main_form::EditorReplaceAction, "EditorReplaceAction", "Замена", nullptr, QKeySequence(Qt::CTRL | Qt::Key_H), "edit-find-replace"},
    {&TKLV_main_form::EditorZoomInAction, "EditorZoomInAction", "Увеличить", nullptr, {}, "zoom-in"},
    {&TKLV_main_form::EditorZoomOutAction, "EditorZoomOutAction", "Уменьшить", nullptr, {}, "zoom-out"},
    {&TKLV_main_form::EditorOpenFileAction, "EditorOpenFileAction", "Открыть файл", nullptr, {}, "document-open"},
    {&TKLV_main_form::EditorSaveFileAction, "EditorSaveFileAction", "Сохранить файл", nullptr, {}, "document-save"},
    {&TKLV_main_form::EditorCutAction, "EditorCutAction", "Вырезать", nullptr, QKeySequence(Qt::CTRL | Qt::Key_X), "edit-cut"},
    {&TKLV_main_form::EditorCopyAction, "EditorCopyAction", "Копировать", nullptr, QKeySequence(Qt::CTRL | Qt::Key_C), "edit-copy"},
    {&TKLV_main_form::EditorPasteAction, "EditorPasteAction", "Вставить", nullptr, QKeySequence(Qt::CTRL | Qt::Key_V), "edit-paste"},
    {&TKLV_main_form::EditorSelectAllAction, "EditorSelectAllAction", "Выделить все", nullptr, QKeySequence(Qt::CTRL | Qt::Key_A), "edit-select-all"},
    {&TKLV_main_form::EditorUndoAction, "EditorUndoAction", "Отменить", nullptr, QKeySequence(Qt::CTRL | Qt::Key_Z), "edit-undo"},
    {&TKLV_main_form::HexViewAction, "HexViewAction", "HEX", "Шестнадцатеричный вид", {}, nullptr},
    {&TKLV_main_form::HelpAboutAction, "HelpAboutAction", "О программе", nullptr, {}, "help-about"},
    {&TKLV_main_form::FileExitAction, "FileExitAction", "Выход", nullptr, {}, "application-exit"},
};

}  // namespace

void TKLV_main_form::CreateActions() {
  for (const ActionSpec &def : kActions) {
    auto *action = new QAction(QString::fromUtf8(def.caption), this);
    const QString hint = QString::fromUtf8(def.hint ? def.hint : def.caption);
    // No status tip: it would replace the status line's panels while the pointer rests on a tool
    // button or menu item. The hint shows as the tool tip instead.
    action->setToolTip(hint);
    action->setWhatsThis(hint);
    if (!def.shortcut.isEmpty()) action->setShortcut(def.shortcut);
    if (def.icon) action->setIcon(kalvort::app::ThemeIcon(QString::fromLatin1(def.icon)));
    action->setObjectName(QString::fromLatin1(def.name));
    this->*def.member = action;
  }
  // The menu item of the write command names what is written; the tool bar keeps the short caption.
  DeviceBurnAction->setText(QStringLiteral("Записать проект в МП"));
  DeviceBurnAction->setIconText(QStringLiteral("Записать в МП"));
  HexViewAction->setCheckable(true);
  HexViewAction->setToolTip(QStringLiteral("HEX"));

  ActionList1 = {DeviceRereadAction, DeviceBurnAction, DeviceClearSMPCatAction, DeviceClearSMPFullAction,
                 DeviceTestSMPQuickAction, DeviceTestSMPFullAction, DeviceReadImageAction,
                 DeviceBurnImageAction, DeviceVerifyAction, DeviceCancelAction, DeviceNetworkAction,
                 ProjectNewAction, ProjectOpenAction, ProjectSaveAction, OptionsAction,
                 CheckAllFilesAction, AddFileToCatalog, AddNewFileToCatalog, RemFileFromCatalog,
                 FilePropCatalog, FileUpCatalog, FileDownCatalog, SaveCatAsTxtAction};
  ActionListEditor = {EditorRunAction, CheckFileAction, EditorOkAction, EditorCancelAction,
                      EditorSearchAction, EditorReplaceAction, EditorZoomInAction, EditorZoomOutAction,
                      EditorOpenFileAction, EditorSaveFileAction, EditorCutAction, EditorCopyAction,
                      EditorPasteAction, EditorSelectAllAction, EditorUndoAction};
}

void TKLV_main_form::CreateMenus() {
  FileMenu = menuBar()->addMenu(QStringLiteral("Файл"));
  FileMenu->addAction(ProjectNewAction);
  FileMenu->addAction(ProjectOpenAction);
  FileMenu->addAction(ProjectSaveAction);
  FileMenu->addSeparator();
  FileMenu->addAction(FileExitAction);

  ProjectMenu = menuBar()->addMenu(QStringLiteral("Проект"));
  ProjectMenu->addAction(AddNewFileToCatalog);
  ProjectMenu->addAction(AddFileToCatalog);
  ProjectMenu->addAction(RemFileFromCatalog);
  ProjectMenu->addAction(FilePropCatalog);
  ProjectMenu->addAction(SaveCatAsTxtAction);
  ProjectMenu->addSeparator();
  ProjectMenu->addAction(CheckAllFilesAction);
  ProjectMenu->addAction(OptionsAction);

  DeviceMenu = menuBar()->addMenu(QStringLiteral("Модуль памяти"));
  DeviceMenu->addAction(DeviceBurnAction);
  DeviceMenu->addAction(DeviceRereadAction);
  DeviceMenu->addAction(DeviceVerifyAction);
  DeviceMenu->addSeparator();
  DeviceMenu->addAction(DeviceClearSMPCatAction);
  DeviceMenu->addAction(DeviceClearSMPFullAction);
  DeviceMenu->addSeparator();
  DeviceMenu->addAction(DeviceTestSMPQuickAction);
  DeviceMenu->addAction(DeviceTestSMPFullAction);
  DeviceMenu->addSeparator();
  DeviceMenu->addAction(DeviceReadImageAction);
  DeviceMenu->addAction(DeviceBurnImageAction);
  DeviceMenu->addSeparator();
  DeviceMenu->addAction(DeviceNetworkAction);

  EditorMenu = menuBar()->addMenu(QStringLiteral("Редактор"));
  EditorMenu->addAction(EditorOpenFileAction);
  EditorMenu->addAction(EditorSaveFileAction);
  EditorMenu->addSeparator();
  EditorMenu->addAction(EditorUndoAction);
  EditorMenu->addAction(EditorCutAction);
  EditorMenu->addAction(EditorCopyAction);
  EditorMenu->addAction(EditorPasteAction);
  EditorMenu->addAction(EditorSelectAllAction);
  EditorMenu->addSeparator();
  EditorMenu->addAction(EditorSearchAction);
  EditorMenu->addAction(EditorReplaceAction);
  EditorMenu->addSeparator();
  EditorMenu->addAction(CheckFileAction);
  EditorMenu->addAction(EditorOkAction);
  EditorMenu->addAction(EditorCancelAction);
  EditorMenu->addAction(EditorRunAction);
  EditorMenu->addSeparator();
  EditorMenu->addAction(HexViewAction);
  EditorMenu->addAction(EditorZoomInAction);
  EditorMenu->addAction(EditorZoomOutAction);

  HelpMenu = menuBar()->addMenu(QStringLiteral("Помощь"));
  HelpMenu->addAction(HelpAboutAction);

  CatalogContextMenu = new QMenu(this);
  CatalogContextMenu->addAction(AddNewFileToCatalog);
  CatalogContextMenu->addAction(AddFileToCatalog);
  CatalogContextMenu->addAction(RemFileFromCatalog);
  CatalogContextMenu->addAction(FilePropCatalog);
  CatalogContextMenu->addAction(SaveCatAsTxtAction);
  CatalogContextMenu->addSeparator();
  CatalogContextMenu->addAction(CheckAllFilesAction);
  CatalogContextMenu->addAction(DeviceBurnAction);
  CatalogContextMenu->addAction(DeviceRereadAction);
  CatalogContextMenu->addSeparator();
  CatalogContextMenu->addAction(FileUpCatalog);
  CatalogContextMenu->addAction(FileDownCatalog);
}

void TKLV_main_form::CreateToolBars() {
  MainToolBar = addToolBar(QStringLiteral("Панель инструментов"));
  MainToolBar->setObjectName(QStringLiteral("MainToolBar"));
  MainToolBar->setMovable(false);
  MainToolBar->setIconSize(QSize(22, 22));
  for (QAction *a : {ProjectNewAction, ProjectOpenAction, ProjectSaveAction, DeviceRereadAction,
                     DeviceBurnAction, CheckAllFilesAction, OptionsAction, DeviceNetworkAction}) {
    MainToolBar->addAction(a);
  }
}

namespace {

QToolBar *PaneToolBar(const QString &name, QWidget *parent) {
  auto *bar = new QToolBar(name, parent);
  bar->setObjectName(name);
  bar->setIconSize(QSize(18, 18));
  bar->setAccessibleName(name);
  return bar;
}

}  // namespace

void TKLV_main_form::CreateCentralArea() {
  Splitter1 = new QSplitter(Qt::Horizontal, this);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setChildrenCollapsible(false);

  LeftPane = new QWidget(Splitter1);
  LeftPane->setObjectName(QStringLiteral("LeftPane"));
  LeftPane->setMinimumWidth(200);
  auto *left = new QVBoxLayout(LeftPane);
  left->setContentsMargins(2, 2, 2, 2);
  left->setSpacing(2);
  ComboBox1 = new QComboBox(LeftPane);
  ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
  ComboBox1->setAccessibleName(QStringLiteral("Устройство"));
  ComboBox1->setToolTip(QStringLiteral("Устройство"));
  left->addWidget(ComboBox1);
  CatalogToolBar = PaneToolBar(QStringLiteral("Каталог"), LeftPane);
  for (QAction *a : {AddNewFileToCatalog, AddFileToCatalog, RemFileFromCatalog, FilePropCatalog,
                     FileUpCatalog, FileDownCatalog}) {
    CatalogToolBar->addAction(a);
  }
  left->addWidget(CatalogToolBar);
  StringGrid1 = new QTableWidget(1, 7, LeftPane);
  StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
  StringGrid1->setAccessibleName(QStringLiteral("Каталог"));
  StringGrid1->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("№ п."),
                                          QStringLiteral("Название"), QStringLiteral("Разм.текст"),
                                          QStringLiteral("Разм.обр."), QStringLiteral("Обр."),
                                          QStringLiteral("Дата")});
  StringGrid1->verticalHeader()->hide();
  StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(StringGrid1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { CatalogContextMenu->popup(StringGrid1->viewport()->mapToGlobal(pos)); });
  left->addWidget(StringGrid1, 1);

  RightPane = new QWidget(Splitter1);
  RightPane->setObjectName(QStringLiteral("RightPane"));
  RightPane->setMinimumWidth(200);
  auto *right = new QVBoxLayout(RightPane);
  right->setContentsMargins(2, 2, 2, 2);
  right->setSpacing(2);
  EditorToolBar1 = PaneToolBar(QStringLiteral("Файл программы"), RightPane);
  EditorToolBar1->addAction(EditorOpenFileAction);
  EditorToolBar1->addAction(EditorSaveFileAction);
  EditorToolBar1->addAction(HexViewAction);
  HexSwitchButton = qobject_cast<QToolButton *>(EditorToolBar1->widgetForAction(HexViewAction));
  if (HexSwitchButton) {
    HexSwitchButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    HexSwitchButton->setObjectName(QStringLiteral("HexSwitchButton"));
  }
  for (QAction *a : {CheckFileAction, EditorOkAction, EditorCancelAction, EditorZoomInAction, EditorZoomOutAction}) {
    EditorToolBar1->addAction(a);
  }
  right->addWidget(EditorToolBar1);
  EditorToolBar2 = PaneToolBar(QStringLiteral("Правка"), RightPane);
  for (QAction *a : {EditorCopyAction, EditorCutAction, EditorPasteAction, EditorSearchAction, EditorReplaceAction}) {
    EditorToolBar2->addAction(a);
  }
  ComboBox3 = new QComboBox(EditorToolBar2);
  ComboBox3->setObjectName(QStringLiteral("ComboBox3"));
  ComboBox3->setAccessibleName(QStringLiteral("Действие"));
  ComboBox3->setToolTip(QStringLiteral("Действие"));
  ComboBox3->setMinimumContentsLength(24);
  EditorToolBar2->addWidget(ComboBox3);
  EditorToolBar2->addAction(EditorRunAction);
  right->addWidget(EditorToolBar2);
  Memo1 = new CodeEditor(RightPane);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setAccessibleName(QStringLiteral("Редактор"));
  Memo1->setReadOnly(true);
  right->addWidget(Memo1, 1);

  // Catalog commands act in the left pane, editor clipboard commands in the right one: that is
  // what keeps their shared Ctrl+X apart.
  for (QAction *a : {AddNewFileToCatalog, AddFileToCatalog, RemFileFromCatalog, FilePropCatalog,
                     FileUpCatalog, FileDownCatalog}) {
    LeftPane->addAction(a);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }
  for (QAction *a : {EditorCutAction, EditorCopyAction, EditorPasteAction, EditorSelectAllAction, EditorUndoAction}) {
    RightPane->addAction(a);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }

  Splitter1->addWidget(LeftPane);
  Splitter1->addWidget(RightPane);
  Splitter1->setStretchFactor(0, 0);
  Splitter1->setStretchFactor(1, 1);
  Splitter1->setSizes({441, 385});
  setCentralWidget(Splitter1);
}

void TKLV_main_form::CreateStatusLine() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(true);
  static const char *const kDescriptions[4] = {"Устройство", "Модуль", "Объём", "Тип проекта"};
  static const int kWidths[4] = {220, 150, 200, 50};
  for (int i = 0; i < 4; ++i) {
    auto *panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(kWidths[i]);
    panel->setAccessibleDescription(QString::fromUtf8(kDescriptions[i]));
    panel->setAccessibleName(QString());
    StatusPanel[static_cast<size_t>(i)] = panel;
    // The last panel takes what is left: its text is longer than its nominal 50 pixels.
    StatusBar1->addWidget(panel, i == 3 ? 1 : 0);
  }
}

void TKLV_main_form::ConnectActions() {
  connect(DeviceRereadAction, &QAction::triggered, this, &TKLV_main_form::DeviceRereadActionExecute);
  connect(DeviceBurnAction, &QAction::triggered, this, &TKLV_main_form::DeviceBurnActionExecute);
  connect(DeviceClearSMPCatAction, &QAction::triggered, this, &TKLV_main_form::DeviceClearSMPCatActionExecute);
  connect(DeviceClearSMPFullAction, &QAction::triggered, this, &TKLV_main_form::DeviceClearSMPFullActionExecute);
  connect(DeviceTestSMPQuickAction, &QAction::triggered, this, &TKLV_main_form::DeviceTestSMPQuickActionExecute);
  connect(DeviceTestSMPFullAction, &QAction::triggered, this, &TKLV_main_form::DeviceTestSMPFullActionExecute);
  connect(DeviceReadImageAction, &QAction::triggered, this, &TKLV_main_form::DeviceReadImageActionExecute);
  connect(DeviceBurnImageAction, &QAction::triggered, this, &TKLV_main_form::DeviceBurnImageActionExecute);
  connect(DeviceCancelAction, &QAction::triggered, this, &TKLV_main_form::DeviceCancelActionExecute);
  connect(DeviceNetworkAction, &QAction::triggered, this, &TKLV_main_form::DeviceNetworkActionExecute);
  connect(DeviceVerifyAction, &QAction::triggered, this, &TKLV_main_form::DeviceVerifyActionExecute);
  connect(ProjectNewAction, &QAction::triggered, this, &TKLV_main_form::ProjectNewActionExecute);
  connect(ProjectOpenAction, &QAction::triggered, this, &TKLV_main_form::ProjectOpenActionExecute);
  connect(ProjectSaveAction, &QAction::triggered, this, &TKLV_main_form::ProjectSaveActionExecute);
  connect(OptionsAction, &QAction::triggered, this, &TKLV_main_form::OptionsActionExecute);
  connect(CheckAllFilesAction, &QAction::triggered, this, &TKLV_main_form::CheckAllFilesActionExecute);
  connect(AddFileToCatalog, &QAction::triggered, this, &TKLV_main_form::AddFileToCatalogExecute);
  connect(AddNewFileToCatalog, &QAction::triggered, this, &TKLV_main_form::AddNewFileToCatalogExecute);
  connect(RemFileFromCatalog, &QAction::triggered, this, &TKLV_main_form::RemFileFromCatalogExecute);
  connect(FilePropCatalog, &QAction::triggered, this, &TKLV_main_form::FilePropCatalogExecute);
  connect(FileUpCatalog, &QAction::triggered, this, &TKLV_main_form::FileUpCatalogExecute);
  connect(FileDownCatalog, &QAction::triggered, this, &TKLV_main_form::FileDownCatalogExecute);
  connect(SaveCatAsTxtAction, &QAction::triggered, this, &TKLV_main_form::SaveCatAsTxtActionExecute);
  connect(EditorRunAction, &QAction::triggered, this, &TKLV_main_form::EditorRunActionExecute);
  connect(CheckFileAction, &QAction::triggered, this, &TKLV_main_form::CheckFileActionExecute);
  connect(EditorOkAction, &QAction::triggered, this, &TKLV_main_form::EditorOkActionExecute);
  connect(EditorCancelAction, &QAction::triggered, this, &TKLV_main_form::EditorCancelActionExecute);
  connect(EditorSearchAction, &QAction::triggered, this, &TKLV_main_form::EditorSearchActionExecute);
  connect(EditorReplaceAction, &QAction::triggered, this, &TKLV_main_form::EditorReplaceActionExecute);
  connect(EditorZoomInAction, &QAction::triggered, this, &TKLV_main_form::EditorZoomInActionExecute);
  connect(EditorZoomOutAction, &QAction::triggered, this, &TKLV_main_form::EditorZoomOutActionExecute);
  connect(EditorOpenFileAction, &QAction::triggered, this, &TKLV_main_form::EditorOpenFileActionExecute);
  connect(EditorSaveFileAction, &QAction::triggered, this, &TKLV_main_form::EditorSaveFileActionExecute);
  connect(EditorCutAction, &QAction::triggered, this, &TKLV_main_form::EditorCutActionExecute);
  connect(EditorCopyAction, &QAction::triggered, this, &TKLV_main_form::EditorCopyActionExecute);
  connect(EditorPasteAction, &QAction::triggered, this, &TKLV_main_form::EditorPasteActionExecute);
  connect(EditorSelectAllAction, &QAction::triggered, this, &TKLV_main_form::EditorSelectAllActionExecute);
  connect(EditorUndoAction, &QAction::triggered, this, &TKLV_main_form::EditorUndoActionExecute);
  connect(HexViewAction, &QAction::triggered, this, &TKLV_main_form::HexViewActionExecute);
  connect(HelpAboutAction, &QAction::triggered, this, &TKLV_main_form::HelpAboutActionExecute);
  connect(FileExitAction, &QAction::triggered, this, &TKLV_main_form::FileExitActionExecute);
  connect(ComboBox1, &QComboBox::activated, this, &TKLV_main_form::ComboBox1Change);
  connect(Timer1, &QTimer::timeout, this, &TKLV_main_form::Timer1Timer);
}
