// Builds the main window: every action with its caption, hint and shortcut, the menus, the tool
// bars, the splitter with the device selector, catalog list and editor, and the status line.

#include <QAction>
#include <QLayout>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>

#include "support/Actions.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/DeviceCommands.h"
#include "window/EditorPane.h"
#include "window/FileWork.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "window/StatusLine.h"

namespace {

struct ActionSpec {
  QAction *MainWindow::*member;
  kalvort::app::ActionText text;
};

}  // namespace

void MainWindow::CreateActions() {
  // Inside the member function: the table names the window's private action members.
  static const ActionSpec kActions[] = {
      {&MainWindow::DeviceRereadAction, {"DeviceRereadAction", "Прочитать проект из МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_R), "document-import"}},
      {&MainWindow::DeviceBurnAction, {"DeviceBurnAction", "Записать в МП", nullptr, QKeySequence(Qt::CTRL | Qt::Key_B), "document-export"}},
      {&MainWindow::DeviceClearSMPCatAction, {"DeviceClearSMPCatAction", "Быстрая очистка МП", nullptr, {}, "edit-clear"}},
      {&MainWindow::DeviceClearSMPFullAction, {"DeviceClearSMPFullAction", "Полная очистка МП", nullptr, {}, "edit-delete"}},
      {&MainWindow::DeviceTestSMPQuickAction, {"DeviceTestSMPQuickAction", "Быстрая проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q), "system-run"}},
      {&MainWindow::DeviceTestSMPFullAction, {"DeviceTestSMPFullAction", "Полная проверка МП", nullptr, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F), "system-run"}},
      {&MainWindow::DeviceReadImageAction, {"DeviceReadImageAction", "Прочитать образ из МП", nullptr, {}, "go-down"}},
      {&MainWindow::DeviceBurnImageAction, {"DeviceBurnImageAction", "Записать образ на МП", nullptr, {}, "go-up"}},
      {&MainWindow::DeviceVerifyAction, {"DeviceVerifyAction", "Сверить с МП", nullptr, {}, "edit-find"}},
      {&MainWindow::DeviceCancelAction, {"DeviceCancelAction", "Отменить текущее действие", nullptr, {}, "process-stop"}},
      {&MainWindow::DeviceNetworkAction, {"DeviceNetworkAction", "Поиск сетевого устройства", nullptr, {}, "network-wired"}},
      {&MainWindow::ProjectNewAction, {"ProjectNewAction", "Новый проект", "Создать новый проект", QKeySequence(Qt::CTRL | Qt::Key_N), "document-new"}},
      {&MainWindow::ProjectOpenAction, {"ProjectOpenAction", "Открыть проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_O), "document-open"}},
      {&MainWindow::ProjectSaveAction, {"ProjectSaveAction", "Сохранить проект", nullptr, QKeySequence(Qt::CTRL | Qt::Key_S), "document-save"}},
      {&MainWindow::OptionsAction, {"OptionsAction", "Настройки", nullptr, QKeySequence(Qt::CTRL | Qt::Key_T), "preferences-system"}},
      {&MainWindow::CheckAllFilesAction, {"CheckAllFilesAction", "Проверить проект", nullptr, {}, "tools-check-spelling"}},
      {&MainWindow::HelpAboutAction, {"HelpAboutAction", "О программе", nullptr, {}, "help-about"}},
      {&MainWindow::FileExitAction, {"FileExitAction", "Выход", nullptr, {}, "application-exit"}},
  };
  // The editor pane brings its own actions; it is made first so that the menus can hold them.
  editor_pane_ = new EditorPane(dialogs_,
                                {[this]() -> ProgressWindow & { return deviceCommands().progressForm(); },
                                 [this] { return document_.options().processing.project_type; },
                                 [this](std::shared_ptr<QObject> garbage) { fileWork().dispose(std::move(garbage)); }},
                                this);
  for (const ActionSpec &def : kActions) this->*def.member = kalvort::app::MakeAction(def.text, this);
  // The menu item of the write command names what is written; the tool bar keeps the short caption.
  DeviceBurnAction->setText(QStringLiteral("Записать проект в МП"));
  DeviceBurnAction->setIconText(QStringLiteral("Записать в МП"));

  CreateCatalogPane();
  CreateFileWork();
  CreateProgramEditing();
  main_actions_ = {DeviceRereadAction, DeviceBurnAction, DeviceClearSMPCatAction, DeviceClearSMPFullAction,
                 DeviceTestSMPQuickAction, DeviceTestSMPFullAction, DeviceReadImageAction,
                 DeviceBurnImageAction, DeviceVerifyAction, DeviceCancelAction, DeviceNetworkAction,
                 ProjectNewAction, ProjectOpenAction, ProjectSaveAction, OptionsAction,
                 CheckAllFilesAction};
  main_actions_ += catalog_pane_->actions();
}

void MainWindow::CreateCatalogPane() {
  catalog_pane_ = new CatalogPane(document_, dialogs_, this);
  catalog_pane_->setObjectName(QStringLiteral("CatalogPane"));
  connect(catalog_pane_, &CatalogPane::edited, this, [this] {
    document_.setChanged(true);
    updateCommandStates();
  });
  connect(catalog_pane_, &CatalogPane::currentEntryChosen, this, [this](int index) {
    document_.setCurrent(index);
  });
  // Files dropped anywhere on the window go into the catalog.
  catalog_pane_->takeFileDropsOn(*this);
}

// Open, save and check run on the file worker, with the window disabled and the progress window
// the device commands own.
void MainWindow::CreateFileWork() {
  file_work_ = new FileWork(*this, [this]() -> ProgressWindow & { return deviceCommands().progressForm(); }, this);
  connect(file_work_, &FileWork::finished, this, [this] {
    if (std::exchange(close_when_idle_, false)) QMetaObject::invokeMethod(this, &MainWindow::close, Qt::QueuedConnection);
  });
}

// Between the catalog list and the editor: the selected program shown, the editor's commands that
// work on the project, and "Проверить проект".
void MainWindow::CreateProgramEditing() {
  program_editing_ = std::make_unique<ProgramEditing>(
      document_, *catalog_pane_, *editor_pane_, dialogs_, *this, *file_work_,
      [this]() -> ProgressWindow & { return deviceCommands().progressForm(); });
  connect(catalog_pane_, &CatalogPane::selectionChanged, program_editing_.get(), &ProgramEditing::showSelectedEntry);
  connect(program_editing_.get(), &ProgramEditing::commandStatesChanged, this, &MainWindow::updateCommandStates);
}

void MainWindow::CreateMenus() {
  FileMenu = menuBar()->addMenu(QStringLiteral("Файл"));
  FileMenu->addAction(ProjectNewAction);
  FileMenu->addAction(ProjectOpenAction);
  FileMenu->addAction(ProjectSaveAction);
  FileMenu->addSeparator();
  FileMenu->addAction(FileExitAction);

  using kalvort::workflow::Command;
  ProjectMenu = menuBar()->addMenu(QStringLiteral("Проект"));
  for (Command c : {Command::NewFile, Command::AddFiles, Command::RemoveFiles, Command::FileProperties,
                    Command::SaveList})
    ProjectMenu->addAction(catalog_pane_->action(c));
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

  catalog_pane_->setContextActions({CheckAllFilesAction, DeviceBurnAction, DeviceRereadAction});
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

void MainWindow::CreateCentralArea() {
  MainSplitter = new QSplitter(Qt::Horizontal, this);
  MainSplitter->setObjectName(QStringLiteral("MainSplitter"));
  MainSplitter->setChildrenCollapsible(false);
  CreateLeftPane();

  // Catalog commands act in the left pane (the device selector's focus included), editor clipboard
  // commands in the editor pane: that is what keeps their shared Ctrl+X apart.
  LeftPane->addActions(catalog_pane_->actions());

  MainSplitter->addWidget(LeftPane);
  MainSplitter->addWidget(editor_pane_);
  MainSplitter->setStretchFactor(0, 0);
  MainSplitter->setStretchFactor(1, 1);
  MainSplitter->setSizes({441, 385});
  setCentralWidget(MainSplitter);
}

// The device selector and the catalog pane.
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
  left->addWidget(catalog_pane_, 1);
}

void MainWindow::SetupCatalogView() {
  // The left pane starts wide enough for every column; the editor takes the rest of the window.
  const QMargins margins = LeftPane->layout()->contentsMargins();
  const int listWidth = catalog_pane_->preferredListWidth() + margins.left() + margins.right();
  const QList<int> sizes = MainSplitter->sizes();
  MainSplitter->setSizes({listWidth, std::max(sizes.value(0) + sizes.value(1) - listWidth, editorPane().minimumWidth())});
}

void MainWindow::CreateStatusLine() {
  status_ = new StatusLine(this);
  setStatusBar(status_);
}

// The device commands: they work on the parts and the document, and on the window's list of
// network devices.
void MainWindow::CreateDeviceCommands() {
  device_commands_ = std::make_unique<DeviceCommands>(
      document_, deviceController(), *catalog_pane_, *editor_pane_, *status_, *program_editing_, *project_commands_,
      dialogs_, *this, [this]() -> std::vector<kalvort::TNetDevice> & { return net_devices_; });
  connect(device_commands_.get(), &DeviceCommands::commandStatesChanged, this, &MainWindow::updateCommandStates);
  connect(device_commands_.get(), &DeviceCommands::netDevicesChanged, this, [this] {
    // The selector shows its first entry; the device object changes only when the user picks one.
    FillCombo();
    const QSignalBlocker block(DeviceSelector);
    DeviceSelector->setCurrentIndex(0);
  });
}

void MainWindow::ConnectActions() {
  DeviceCommands *device = device_commands_.get();
  connect(DeviceRereadAction, &QAction::triggered, device, &DeviceCommands::DeviceRereadActionExecute);
  connect(DeviceBurnAction, &QAction::triggered, device, &DeviceCommands::DeviceBurnActionExecute);
  connect(DeviceClearSMPCatAction, &QAction::triggered, device, &DeviceCommands::DeviceClearSMPCatActionExecute);
  connect(DeviceClearSMPFullAction, &QAction::triggered, device, &DeviceCommands::DeviceClearSMPFullActionExecute);
  connect(DeviceTestSMPQuickAction, &QAction::triggered, device, &DeviceCommands::DeviceTestSMPQuickActionExecute);
  connect(DeviceTestSMPFullAction, &QAction::triggered, device, &DeviceCommands::DeviceTestSMPFullActionExecute);
  connect(DeviceReadImageAction, &QAction::triggered, device, &DeviceCommands::DeviceReadImageActionExecute);
  connect(DeviceBurnImageAction, &QAction::triggered, device, &DeviceCommands::DeviceBurnImageActionExecute);
  connect(DeviceCancelAction, &QAction::triggered, device, &DeviceCommands::DeviceCancelActionExecute);
  connect(DeviceNetworkAction, &QAction::triggered, device, &DeviceCommands::DeviceNetworkActionExecute);
  connect(DeviceVerifyAction, &QAction::triggered, device, &DeviceCommands::DeviceVerifyActionExecute);
  connect(ProjectNewAction, &QAction::triggered, project_commands_, &ProjectCommands::newProject);
  connect(ProjectOpenAction, &QAction::triggered, project_commands_, &ProjectCommands::openProject);
  connect(ProjectSaveAction, &QAction::triggered, project_commands_, &ProjectCommands::saveProject);
  connect(OptionsAction, &QAction::triggered, this, &MainWindow::OptionsActionExecute);
  connect(CheckAllFilesAction, &QAction::triggered, program_editing_.get(), &ProgramEditing::checkProject);
  connect(HelpAboutAction, &QAction::triggered, this, &MainWindow::HelpAboutActionExecute);
  connect(FileExitAction, &QAction::triggered, this, &MainWindow::FileExitActionExecute);
  connect(DeviceSelector, &QComboBox::activated, this, &MainWindow::DeviceSelectorChanged);
  ConnectEditorPane();
}

void MainWindow::CreateProjectCommands() {
  project_commands_ = new ProjectCommands(document_, *catalog_pane_, *editor_pane_, dialogs_, *this, *file_work_,
                                          [this] { return fromU16(settings_.LastDir); }, this);
  connect(project_commands_, &ProjectCommands::fileNameChanged, this, &MainWindow::UpdateCaption);
  connect(project_commands_, &ProjectCommands::commandStatesChanged, this, &MainWindow::updateCommandStates);
}

void MainWindow::ConnectEditorPane() {
  EditorPane &editor = *editor_pane_;
  connect(&editor, &EditorPane::textEdited, this, &MainWindow::updateCommandStates);
  ProgramEditing &editing = *program_editing_;
  connect(&editor, &EditorPane::confirmRequested, &editing, &ProgramEditing::confirmText);
  connect(&editor, &EditorPane::discardRequested, &editing, &ProgramEditing::discardText);
  connect(&editor, &EditorPane::checkRequested, &editing, &ProgramEditing::checkProgram);
  connect(&editor, &EditorPane::openFileRequested, &editing, &ProgramEditing::openTextFile);
  connect(&editor, &EditorPane::saveFileRequested, &editing, &ProgramEditing::saveProgramFile);
  // The entry is shown afresh, as a hex dump or not.
  connect(&editor, &EditorPane::hexViewToggled, &editing, &ProgramEditing::showSelectedEntry);
}
