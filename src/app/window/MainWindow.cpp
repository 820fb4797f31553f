// The main window: it composes the parts (catalog pane, editor pane, device controller, status
// line, program editing, project and device commands; see MainWindow.h) and does what belongs to
// the window itself: start-up and shutdown, the settings file, the caption, the device selector
// and the device object behind it, the project settings dialog, and applying the device status
// and the command enabling rules. Its actions, menus and tool bars are built in Construction.cpp.

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <utility>

#include "base/Log.h"
#include "dialogs/AboutDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/UpdatePrompt.h"
#include "project/Settings.h"
#include "support/AppLog.h"
#include "support/GuardedApplication.h"
#include "support/UserDialogs.h"
#include "transport/LanProtocol.h"
#include "window/CatalogPane.h"
#include "window/DeviceCommands.h"
#include "window/DeviceController.h"
#include "window/EditorPane.h"
#include "window/FileWork.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "window/StatusLine.h"
#include "workflow/CommandRules.h"
#include "workflow/DeviceSession.h"

using kalvort::workflow::DeviceSnapshot;
using kalvort::workflow::DeviceSession;
using kalvort::workflow::DeviceTarget;

namespace {

// Selector tags: 0 the USB programmer, n the replaceable module of network device n (1-based),
// 1000 + n its built-in module.
constexpr int kBuiltInTag = 1000;

}  // namespace

// ---- construction, destruction and the events the window handles itself ----

MainWindow::MainWindow(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), dialogs_(dialogs), device_controller_(new DeviceController(this)) {
  setObjectName(QStringLiteral("MainWindow"));
  CreateActions();
  CreateProjectCommands();
  CreateMenus();
  CreateToolBars();
  CreateCentralArea();
  CreateStatusLine();
  CreateDeviceCommands();
  NameToolButtons();
  ConnectActions();
  ConnectDeviceController();
  SetupCatalogView();
  StartUp();
  if (auto *app = qobject_cast<kalvort::app::GuardedApplication *>(QCoreApplication::instance()))
    connect(app, &kalvort::app::GuardedApplication::outOfMemory, editor_pane_, &EditorPane::reportOutOfMemory);
}

MainWindow::~MainWindow() {
  device_commands_.reset();  // the network dialog's probes use the controller's worker
  // Cancels a device command still running and lets the worker's running job return.
  delete std::exchange(device_controller_, nullptr);
}

void MainWindow::closeEvent(QCloseEvent *event) {
  // While a device command runs the window is disabled; it closes once the command has ended.
  if (device_controller_->commandRunning()) {
    event->ignore();
    return;
  }
  // File work in flight finishes first, and the window then closes as usual.
  if (file_work_->running()) {
    close_when_idle_ = true;
    event->ignore();
    return;
  }
  if (!closed_) {
    closing_now_ = true;
    ConfirmCloseAndShutDown();
    closing_now_ = false;
  }
  if (closed_) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool MainWindow::event(QEvent *event) {
  const bool result = QMainWindow::event(event);
  if (event->type() == QEvent::Paint && !painted_) {
    painted_ = true;
    emit firstPainted();
  }
  return result;
}

// ---- start-up and shutdown: the settings file, the caption, the close question ----

QString MainWindow::TitleLine() {
  return QStringLiteral("Калворт v%1").arg(QStringLiteral(KALVORT_VERSION));
}

void MainWindow::UpdateCaption() { setWindowTitle(TitleLine() + QStringLiteral(" - ") + document_.fileName()); }

void MainWindow::NameToolButtons() {
  // Tool buttons show only images: their accessible names are their commands' captions.
  for (QToolBar *bar : findChildren<QToolBar *>()) {
    for (QAction *action : bar->actions()) {
      if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(action))) {
        button->setAccessibleName(action->iconText());
        button->setAccessibleDescription(action->toolTip());
      }
    }
  }
  for (QAction *action : findChildren<QAction *>()) {
    if (!action->isSeparator()) action->setProperty("accessibleName", action->iconText());
  }
}

void MainWindow::StartUp() {
  kalvort::app::OpenAppLog();
  net_devices_.clear();
  OpenSettings();
  // Every file dialog starts in one place and remembers where a file was chosen.
  dialogs_.startFolder = [window = QPointer<MainWindow>(this)] {
    return window ? window->projectCommands().fileDialogFolder() : QString();
  };
  dialogs_.folderChosen = [window = QPointer<MainWindow>(this)](const QString &folder) {
    if (window) window->settings_.LastDir = folder.toStdU16String();
  };
  FillCombo();
  // The header row of the catalog list was written with the list; one blank data row below it.
  first_status_pending_ = true;
  deviceController().startPolling();
  setAcceptDrops(true);
  editorPane().setTextChanged(false);
  document_.setChanged(false);
  document_.setFileName(ProjectDocument::DefaultFileName());
  QApplication::setApplicationDisplayName(QString());
  UpdateCaption();

  setMinimumHeight(300);
  // The stored size, never larger than the screen: a damaged settings file must not make a window
  // of gigabytes.
  QSize size(std::max(settings_.Width, 200), std::max(settings_.Height, 300));
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect available = screen->availableGeometry();
    if (!settings_.window_size_stored) size = DefaultWindowSize(available.size());
    size = size.boundedTo(available.size()).expandedTo(QSize(std::min(200, available.width()),
                                                              std::min(300, available.height())));
    resize(size);
    QRect frame = frameGeometry();
    frame.moveCenter(available.center());
    move(frame.topLeft());
  } else {
    resize(size.boundedTo(QSize(4096, 4096)));
  }
}

QSize MainWindow::DefaultWindowSize(const QSize &available) {
  return (available * 3 / 4).expandedTo(QSize(1024, 700)).boundedTo(available);
}

void MainWindow::OpenSettings() {
  std::string error;
  settings_ = kalvort::KalvortSettings{};
  settings_readable_ = kalvort::OpenSettings(kalvort::SettingsPath(), settings_, &error);
  if (!settings_readable_) {
    kalvort::LogMessage(kalvort::LogLevel::Warning,
                        "settings file not read, defaults in use and the file is kept as it is: " + error);
  }
  chosen_device_row_ = settings_.CurDeviceNum;
  document_.options() = settings_.options;
  editorPane().setSavedAction(settings_.editor_action);
  net_devices_ = settings_.NetDevices;
}

bool MainWindow::SaveSettings() {
  if (!settings_readable_) return false;
  kalvort::KalvortSettings s = settings_;
  const QRect g = geometry();
  s.Left = g.left();
  s.Top = g.top();
  s.Width = g.width();
  s.Height = g.height();
  s.CurDeviceNum = chosen_device_row_;
  s.options = document_.options();
  s.editor_action = editorPane().savedAction();
  s.NetDevices = net_devices_;
  std::string error;
  if (!kalvort::SaveSettings(kalvort::SettingsPath(), s, &error)) {
    kalvort::LogMessage(kalvort::LogLevel::Warning, "settings not written: " + error);
    return false;
  }
  return true;
}

void MainWindow::ConfirmCloseAndShutDown() {
  if (!programEditing().settleUnconfirmedText()) return;
  projectCommands().saveChangesFirst([this](bool goOn) {
    if (!goOn || closed_) return;
    deviceController().shutDown();
    SaveSettings();
    net_devices_.clear();
    kalvort::app::CloseAppLog();
    closed_ = true;
    // After a save on the file worker the close event is long gone: the window closes now.
    if (!closing_now_) QMetaObject::invokeMethod(this, &MainWindow::close, Qt::QueuedConnection);
  });
}

void MainWindow::FileExitActionExecute() { close(); }

void MainWindow::HelpAboutActionExecute() {
  AboutDialog about(TitleLine(), this);
  about.exec();
}

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void MainWindow::OpenProjectFileWhenReady(const QString &fileName) {
  // Only the latest of several quick hand-overs counts.
  pending_open_file_ = fileName;
  OpenPendingFile();
}

void MainWindow::OpenPendingFile() {
  if (pending_open_file_.isEmpty() || opening_pending_file_ || closed_) return;
  // Not while a device command uses the project, nor inside another question or dialog (its event
  // loop delivers the hand-over): try again shortly.
  if (!deviceController().hasDevice() || deviceController().commandRunning() ||
      QApplication::activeModalWidget() || !isEnabled()) {
    if (!open_retry_armed_) {
      open_retry_armed_ = true;
      QTimer::singleShot(200, this, [this] {
        open_retry_armed_ = false;
        OpenPendingFile();
      });
    }
    return;
  }
  opening_pending_file_ = true;
  projectCommands().openFile(std::exchange(pending_open_file_, QString()), [this](bool) {
    opening_pending_file_ = false;
    // A hand-over that arrived while this open asked or read replaces the pending name and is
    // taken next.
    if (!pending_open_file_.isEmpty())
      QMetaObject::invokeMethod(this, &MainWindow::OpenPendingFile, Qt::QueuedConnection);
  });
}

// ---- the device status and the command enabling rules ----

uint32_t MainWindow::ProjectBinaryBytes() const {
  if (!deviceController().hasDevice()) return 0;
  const kalvort::TDevCatalog &programs = document_.programs();
  uint64_t all = 0;
  for (int i = 0, n = programs.CatalogCount(); i < n; ++i) {
    const kalvort::TDevCatalogEntry entry = programs.Catalog(i);
    if (entry.file_bin_valid) all += entry.prog_size;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(all, INT32_MAX));
}

void MainWindow::ApplyStatus(const DeviceSnapshot *snapshot) {
  if (first_status_pending_) {
    // The first tick selects the USB programmer, whatever was in use when the program last ended.
    first_status_pending_ = false;
    DeviceSelector->setCurrentIndex(0);
    DeviceSelectorChanged();
    return;
  }
  QString t0, t1, t2;
  bool update_prompt = false;
  if (snapshot) {
    // The project's size comes from the catalog, read here on the window's thread that owns it
    // (the poll thread reads only the device).
    DeviceSnapshot s = *snapshot;
    s.mp_all = ProjectBinaryBytes();
    const kalvort::workflow::StatusTexts texts = kalvort::workflow::StatusTextsFor(s);
    t0 = QString::fromStdString(texts.device);
    t1 = QString::fromStdString(texts.module);
    t2 = QString::fromStdString(texts.size);
    update_prompt = texts.update_prompt;
    if (texts.force_2c42) {
      document_.options().processing.enabled = true;
      document_.options().processing.project_type = 0;
    }
  }
  const kalvort::ProcessingOptions &processing = document_.options().processing;
  const QString t3 =
      deviceController().hasDevice()
          ? QString::fromStdString(kalvort::workflow::ProjectTypeText(processing.enabled, processing.project_type))
          : QString();
  status_->setPanelText(StatusLine::Device, t0);
  status_->setPanelText(StatusLine::Module, t1);
  status_->setPanelText(StatusLine::Size, t2);
  if (status_->panelText(StatusLine::ProjectType) != t3) {
    status_->setPanelText(StatusLine::ProjectType, t3);
    if (document_.options().processing.enabled) editorPane().fillActionSelector(document_.options().processing.project_type);
  }
  updateCommandStates();
  emit statusApplied();
  if (update_prompt && !update_prompt_shown_) {
    update_prompt_shown_ = true;
    ShowUpdatePrompt();
  }
}

void MainWindow::updateCommandStates() {
  using kalvort::workflow::Command;
  kalvort::workflow::CommandState state;
  state.has_device = deviceController().hasDevice();
  state.connected = deviceController().connected();
  state.device_version = deviceController().version();
  state.programs = state.has_device ? document_.programs().CatalogCount() : 0;
  state.text_changed = editorPane().textChanged();
  state.processing = document_.options().processing.enabled && document_.currentEntry().need_p_proc;
  state.entry_text_valid = document_.currentEntry().file_txt_valid;
  if (const QList<int> rows = catalog_pane_->selectedRows(); !rows.isEmpty()) {
    state.first_selected = rows.front();
    state.last_selected = rows.back();
  }
  const kalvort::workflow::CommandSet enabled = kalvort::workflow::EnabledCommands(state);

  const std::pair<Command, QAction *> actions[] = {
      {Command::ReadProject, DeviceRereadAction},      {Command::WriteProject, DeviceBurnAction},
      {Command::EraseCatalog, DeviceClearSMPCatAction}, {Command::EraseFull, DeviceClearSMPFullAction},
      {Command::TestQuick, DeviceTestSMPQuickAction},  {Command::TestFull, DeviceTestSMPFullAction},
      {Command::ReadImage, DeviceReadImageAction},     {Command::WriteImage, DeviceBurnImageAction},
      {Command::Verify, DeviceVerifyAction},           {Command::Cancel, DeviceCancelAction},
      {Command::NetworkSearch, DeviceNetworkAction},   {Command::NewProject, ProjectNewAction},
      {Command::OpenProject, ProjectOpenAction},       {Command::SaveProject, ProjectSaveAction},
      {Command::Options, OptionsAction},               {Command::CheckProject, CheckAllFilesAction},
  };
  for (const auto &[command, action] : actions) action->setEnabled(kalvort::workflow::Has(enabled, command));
  catalog_pane_->applyCommands(enabled);
  editorPane().applyCommands(enabled);
  // An empty project has nothing to type into.
  if (state.has_device && state.programs == 0) editorPane().setReadOnly(true);
}

void MainWindow::ShowUpdatePrompt() {
  deviceController().stopPolling();
  kalvort::app::RunUpdatePrompt(dialogs_, this);
  close();
}

// ---- the device selector, the device object behind it, the project settings dialog ----

void MainWindow::setNetworkDevices(std::vector<kalvort::TNetDevice> devices) {
  net_devices_ = std::move(devices);
  FillCombo();
}

void MainWindow::FillCombo() {
  DeviceSelector->blockSignals(true);
  DeviceSelector->clear();
  DeviceSelector->addItem(QStringLiteral("СМП на программаторе USB"), 0);
  const int n = static_cast<int>(std::min<size_t>(net_devices_.size(), kBuiltInTag));
  for (int i = 1; i <= n; ++i) {
    const QString name = QString::fromStdU16String(net_devices_[static_cast<size_t>(i - 1)].name);
    DeviceSelector->addItem(QStringLiteral("СМП на Урвелл - ") + name, i);
    DeviceSelector->addItem(QStringLiteral("ВМП на Урвелл - ") + name, kBuiltInTag + i);
  }
  DeviceSelector->setCurrentIndex(-1);
  DeviceSelector->blockSignals(false);
  chosen_device_row_ = -1;
}

void MainWindow::DeviceSelectorChanged() {
  const int index = DeviceSelector->currentIndex();
  if (index == chosen_device_row_) return;
  chosen_device_row_ = index;
  chosen_network_device_ = -1;
  const int tag = DeviceSelector->itemData(index).toInt();
  if (tag == 0) {
    document_.setDeviceType(kalvort::dtProg);
  } else if (tag <= kBuiltInTag) {
    chosen_network_device_ = tag - 1;
    document_.setDeviceType(kalvort::dtSMP2C42);
  } else {
    chosen_network_device_ = tag - kBuiltInTag - 1;
    document_.setDeviceType(kalvort::dtWMP2C42);
  }
  ChangeDeviceType();
}

void MainWindow::AskSaveBeforeDeviceChange() {
  if (!document_.changed()) return;
  const auto answer = dialogs_.ask(this, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                  QStringLiteral("Сохранить проект?"), QMessageBox::Yes | QMessageBox::No);
  // The device change goes ahead whatever the answer: the project starts afresh (once a save has
  // taken the project to its file).
  if (answer == QMessageBox::Yes)
    projectCommands().saveAs([this](bool) { projectCommands().resetProject(); });
  else
    projectCommands().resetProject();
}

void MainWindow::ChangeDeviceType() {
  if (document_.deviceType() == kalvort::dtNone) return;
  DeviceController &device = deviceController();
  const bool hadDevice = device.hasDevice() || device.creationPending();
  if (document_.deviceType() == kalvort::dtProg) {
    if (hadDevice) AskSaveBeforeDeviceChange();
    if (device.hasDevice() && device.session()->ProjectDeviceType() != kalvort::dtProg) DestroyDevice();
    if (!device.hasDevice()) CreateDevice(DeviceTarget{});
    return;
  }
  if (chosen_network_device_ < 0 || chosen_network_device_ >= static_cast<int>(net_devices_.size())) return;
  if (hadDevice) AskSaveBeforeDeviceChange();
  DestroyDevice();
  DeviceTarget target;
  target.usb = false;
  target.ip = net_devices_[static_cast<size_t>(chosen_network_device_)].ip;
  target.port = kalvort::kControllerPort;
  target.subtype = document_.deviceType() == kalvort::dtSMP2C42 ? kalvort::dstSMP : kalvort::dstWMP;
  // The controller takes 2С42 programs.
  document_.options().processing.project_type = 0;
  CreateDevice(target);
}

void MainWindow::DestroyDevice() {
  const bool hadDevice = deviceController().hasDevice();
  deviceController().releaseDevice();
  if (hadDevice) updateCommandStates();
}

void MainWindow::CreateDevice(const DeviceTarget &target) {
  deviceController().choose(target, document_.options().timeout_factor);
}

void MainWindow::ConnectDeviceController() {
  DeviceController *device = &deviceController();
  connect(device, &DeviceController::statusChanged, this, &MainWindow::ApplyStatus);
  connect(device, &DeviceController::deviceAttached, this, &MainWindow::AttachDevice);
  connect(device, &DeviceController::creationFailed, this,
          [this](const QString &error) { dialogs_.error(this, QStringLiteral("Ошибка"), error); });
}

void MainWindow::AttachDevice() {
  // Completion events and the progress callback are set by each device command's chain object.
  deviceController().session()->Device().SetTimeoutFactor(document_.options().timeout_factor);
  document_.programs().SetMaxProgNum(max_programs_);
  updateCommandStates();
  if (!pending_open_file_.isEmpty()) QMetaObject::invokeMethod(this, &MainWindow::OpenPendingFile, Qt::QueuedConnection);
}

void MainWindow::OptionsActionExecute() {
  SettingsDialog form(this);
  projectCommands().presetSettingsForm(form);
  if (form.exec() != QDialog::Accepted) return;

  kalvort::Options chosen = form.options();
  bool reprocess = chosen.processing.enabled != document_.options().processing.enabled;
  // Only the USB programmer lets the project type be chosen; the other devices take 2С42.
  if (document_.deviceType() == kalvort::dtProg)
    reprocess = reprocess || chosen.processing.project_type != document_.options().processing.project_type;
  else
    chosen.processing.project_type = 0;
  document_.options() = chosen;
  if (DeviceSession *session = deviceController().session())
    session->Device().SetTimeoutFactor(document_.options().timeout_factor);
  if (reprocess && document_.options().processing.enabled) {
    emit reprocessRequested();
    programEditing().reprocessCurrentEntry();
  }
  updateCommandStates();
}
