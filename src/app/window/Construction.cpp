// Builds the main window: every action with its caption, hint and shortcut, the menus, the tool
// bars, the splitter with the device selector, catalog list and editor, and the status line.

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "support/AppIcons.h"
#include "window/CatalogModel.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"

namespace {

struct ActionSpec {
  QAction *MainWindow::*member;
  const char *name;      // object name: the action's name
  const char *caption;
  const char *hint;      // nullptr: the caption
  QKeySequence shortcut;
  const char *icon;      // freedesktop theme name; the bundled fall-back has the same name
};

// Shortcut of "Удалить файл из проекта" and the editor pane's "Вырезать" is the same Ctrl+X: each
// acts only where its pane has the focus (catalog list or editor), so neither makes the other
// ambiguous.
const ActionSpec kActions[] = {
    {&MainWindow::DeviceRereadAction, "DeviceRereadAction", "Прочитать проект из МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_R), "document-import"},
    {&MainWindow::DeviceBurnAction, "DeviceBurnAction", "Записать в МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_B), "document-export"},
    {&MainWindow::DeviceClearSMPCatAction, "DeviceClearSMPCatAction", "Быстрая очистка МП", nullptr, {}, "edit-clear"},
    {&MainWindow::DeviceClearSMPFullAction, "DeviceClearSMPFullAction", "Полная очистка МП", nullptr, {}, "edit-delete"},
    {&MainWindow::DeviceTestSMPQuickAction, "DeviceTestSMPQuickAction", "Быстрая проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), "system-run"},
    {&MainWindow::DeviceTestSMPFullAction, "DeviceTestSMPFullAction", "Полная проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), "system-run"},
    {&MainWindow::DeviceReadImageAction, "DeviceReadImageAction", "Прочитать образ из МП", nullptr, {}, "go-down"},
    {&MainWindow::DeviceBurnImageAction, "DeviceBurnImageAction", "Записать образ на МП", nullptr, {}, "go-up"},
    {&MainWindow::DeviceVerifyAction, "DeviceVerifyAction", "Сверить с МП", nullptr, {}, "edit-find"},
    {&MainWindow::DeviceCancelAction, "DeviceCancelAction", "Отменить текущее действие", nullptr, {}, "process-stop"},
    {&MainWindow::DeviceNetworkAction, "DeviceNetworkAction", "Поиск сетевого устройства", nullptr, {}, "network-wired"},
    {&MainWindow::ProjectNewAction, "ProjectNewAction", "Новый проект", "Создать новый проект", QKeySequence(Qt::CTRL | Qt::Key_N), "document-new"},
    {&MainWindow::ProjectOpenAction, "ProjectOpenAction", "Открыть проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_O), "document-open"},
    {&MainWindow::ProjectSaveAction, "ProjectSaveAction", "Сохранить проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_S), "document-save"},
    {&MainWindow::OptionsAction, "OptionsAction", "Настройки", nullptr, QKeySequence(Qt::CTRL | Qt::Key_T), "preferences-system"},
    {&MainWindow::CheckAllFilesAction, "CheckAllFilesAction", "Проверить проект", nullptr, {}, "tools-check-spelling"},
    {&MainWindow::AddNewFileToCatalog, "AddNewFileToCatalog", "Создать файл в проекте", nullptr, QKeySequence(Qt::CTRL | Qt::Key_W), "document-new"},
    {&MainWindow::AddFileToCatalog, "AddFileToCatalog", "Добавить файл в проект", "Добавить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_I), "list-add"},
    {&MainWindow::RemFileFromCatalog, "RemFileFromCatalog", "Удалить файл из проекта", "Удалить файл(ы)", QKeySequence(Qt::CTRL | Qt::Key_X), "list-remove"},
    {&MainWindow::FilePropCatalog, "FilePropCatalog", "Свойства файла", "Свойства файла(ов)", QKeySequence(Qt::ALT | Qt::Key_Return), "document-properties"},
    {&MainWindow::FileUpCatalog, "FileUpCatalog", "Вверх по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_U), "go-up"},
    {&MainWindow::FileDownCatalog, "FileDownCatalog", "Вниз по каталогу", nullptr, QKeySequence(Qt::CTRL | Qt::Key_D), "go-down"},
    {&MainWindow::SaveCatAsTxtAction, "SaveCatAsTxtAction", "Сохранить список файлов", nullptr, {}, "document-save-as"},
    {&MainWindow::HelpAboutAction, "HelpAboutAction", "О программе", nullptr, {}, "help-about"},
    {&MainWindow::FileExitAction, "FileExitAction", "Выход", nullptr, {}, "application-exit"},
};

}  // namespace

void MainWindow::CreateActions() {
  // The editor pane brings its own actions; it is made first so that the menus can hold them.
  editor_pane_ = new EditorPane(Dialogs,
                                {[this]() -> TProgressForm & { return SharedProgressForm(); },
                                 [this] { return CurrentOptions.processing.project_type; }},
                                this);
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

  MainActionList = {DeviceRereadAction, DeviceBurnAction, DeviceClearSMPCatAction, DeviceClearSMPFullAction,
                 DeviceTestSMPQuickAction, DeviceTestSMPFullAction, DeviceReadImageAction,
                 DeviceBurnImageAction, DeviceVerifyAction, DeviceCancelAction, DeviceNetworkAction,
                 ProjectNewAction, ProjectOpenAction, ProjectSaveAction, OptionsAction,
                 CheckAllFilesAction, AddFileToCatalog, AddNewFileToCatalog, RemFileFromCatalog,
                 FilePropCatalog, FileUpCatalog, FileDownCatalog, SaveCatAsTxtAction};
}

void MainWindow::CreateMenus() {
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
  editor_pane_->fillMenu(*EditorMenu);

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

void MainWindow::CreateToolBars() {
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

void MainWindow::CreateCentralArea() {
  MainSplitter = new QSplitter(Qt::Horizontal, this);
  MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
  MainSplitter->setChildrenCollapsible(false);
  CreateLeftPane();

  // Catalog commands act in the left pane, editor clipboard commands in the editor pane: that is
  // what keeps their shared Ctrl+X apart.
  for (QAction *a : {AddNewFileToCatalog, AddFileToCatalog, RemFileFromCatalog, FilePropCatalog,
                     FileUpCatalog, FileDownCatalog}) {
    LeftPane->addAction(a);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  }

  MainSplitter->addWidget(LeftPane);
  MainSplitter->addWidget(editor_pane_);
  MainSplitter->setStretchFactor(0, 0);
  MainSplitter->setStretchFactor(1, 1);
  MainSplitter->setSizes({441, 385});
  setCentralWidget(MainSplitter);
}

// The device selector, the catalog's tool bar and the catalog list.
void MainWindow::CreateLeftPane() {
  LeftPane = new QWidget(MainSplitter);
  LeftPane->setObjectName(QStringLiteral("LeftPane"));
  LeftPane->setMinimumWidth(200);
  auto *left = new QVBoxLayout(LeftPane);
  left->setContentsMargins(2, 2, 2, 2);
  left->setSpacing(2);
  DeviceSelector = new QComboBox(LeftPane);
  DeviceSelector->setObjectName(QStringLiteral("DeviceSelector"));
  DeviceSelector->setAccessibleName(QStringLiteral("Устройство"));
  DeviceSelector->setToolTip(QStringLiteral("Устройство"));
  left->addWidget(DeviceSelector);
  CatalogToolBar = PaneToolBar(QStringLiteral("Каталог"), LeftPane);
  for (QAction *a : {AddNewFileToCatalog, AddFileToCatalog, RemFileFromCatalog, FilePropCatalog,
                     FileUpCatalog, FileDownCatalog}) {
    CatalogToolBar->addAction(a);
  }
  left->addWidget(CatalogToolBar);
  CatalogRows = new CatalogModel(this);
  CatalogTable = new QTableView(LeftPane);
  CatalogTable->setModel(CatalogRows);
  CatalogTable->setObjectName(QStringLiteral("CatalogTable"));
  CatalogTable->setAccessibleName(QStringLiteral("Каталог"));
  CatalogTable->verticalHeader()->hide();
  CatalogTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  CatalogTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CatalogTable->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(CatalogTable, &QWidget::customContextMenuRequested, this,
          [this](const QPoint &pos) { CatalogContextMenu->popup(CatalogTable->viewport()->mapToGlobal(pos)); });
  left->addWidget(CatalogTable, 1);
}

void MainWindow::CreateStatusLine() {
  Status = new StatusLine(this);
  setStatusBar(Status);
}

void MainWindow::ConnectActions() {
  connect(DeviceRereadAction, &QAction::triggered, this, &MainWindow::DeviceRereadActionExecute);
  connect(DeviceBurnAction, &QAction::triggered, this, &MainWindow::DeviceBurnActionExecute);
  connect(DeviceClearSMPCatAction, &QAction::triggered, this, &MainWindow::DeviceClearSMPCatActionExecute);
  connect(DeviceClearSMPFullAction, &QAction::triggered, this, &MainWindow::DeviceClearSMPFullActionExecute);
  connect(DeviceTestSMPQuickAction, &QAction::triggered, this, &MainWindow::DeviceTestSMPQuickActionExecute);
  connect(DeviceTestSMPFullAction, &QAction::triggered, this, &MainWindow::DeviceTestSMPFullActionExecute);
  connect(DeviceReadImageAction, &QAction::triggered, this, &MainWindow::DeviceReadImageActionExecute);
  connect(DeviceBurnImageAction, &QAction::triggered, this, &MainWindow::DeviceBurnImageActionExecute);
  connect(DeviceCancelAction, &QAction::triggered, this, &MainWindow::DeviceCancelActionExecute);
  connect(DeviceNetworkAction, &QAction::triggered, this, &MainWindow::DeviceNetworkActionExecute);
  connect(DeviceVerifyAction, &QAction::triggered, this, &MainWindow::DeviceVerifyActionExecute);
  connect(ProjectNewAction, &QAction::triggered, this, &MainWindow::ProjectNewActionExecute);
  connect(ProjectOpenAction, &QAction::triggered, this, &MainWindow::ProjectOpenActionExecute);
  connect(ProjectSaveAction, &QAction::triggered, this, &MainWindow::ProjectSaveActionExecute);
  connect(OptionsAction, &QAction::triggered, this, &MainWindow::OptionsActionExecute);
  connect(CheckAllFilesAction, &QAction::triggered, this, &MainWindow::CheckAllFilesActionExecute);
  connect(AddFileToCatalog, &QAction::triggered, this, &MainWindow::AddFileToCatalogExecute);
  connect(AddNewFileToCatalog, &QAction::triggered, this, &MainWindow::AddNewFileToCatalogExecute);
  connect(RemFileFromCatalog, &QAction::triggered, this, &MainWindow::RemFileFromCatalogExecute);
  connect(FilePropCatalog, &QAction::triggered, this, &MainWindow::FilePropCatalogExecute);
  connect(FileUpCatalog, &QAction::triggered, this, &MainWindow::FileUpCatalogExecute);
  connect(FileDownCatalog, &QAction::triggered, this, &MainWindow::FileDownCatalogExecute);
  connect(SaveCatAsTxtAction, &QAction::triggered, this, &MainWindow::SaveCatAsTxtActionExecute);
  connect(HelpAboutAction, &QAction::triggered, this, &MainWindow::HelpAboutActionExecute);
  connect(FileExitAction, &QAction::triggered, this, &MainWindow::FileExitActionExecute);
  connect(DeviceSelector, &QComboBox::activated, this, &MainWindow::DeviceSelectorChanged);
  ConnectEditorPane();
}

void MainWindow::ConnectEditorPane() {
  EditorPane &editor = *editor_pane_;
  connect(&editor, &EditorPane::textEdited, this, &MainWindow::updateCommandStates);
  connect(&editor, &EditorPane::confirmRequested, this, &MainWindow::EditorOkActionExecute);
  connect(&editor, &EditorPane::discardRequested, this, &MainWindow::EditorCancelActionExecute);
  connect(&editor, &EditorPane::checkRequested, this, &MainWindow::CheckFileActionExecute);
  connect(&editor, &EditorPane::openFileRequested, this, &MainWindow::EditorOpenFileActionExecute);
  connect(&editor, &EditorPane::saveFileRequested, this, &MainWindow::EditorSaveFileActionExecute);
  // The entry is shown afresh, as a hex dump or not.
  connect(&editor, &EditorPane::hexViewToggled, this, [this] { CatalogSelectionChanged(); });
}
