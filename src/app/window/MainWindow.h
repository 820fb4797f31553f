#pragma once
// MainWindow: the main window. It composes the parts, each with state of its own, and connects them:
//   CatalogPane       the catalog list, its model, tool bar and commands
//   EditorPane        the editor, its commands and tool bars, find and replace
//   ProgramEditing    between the two: the selected program shown, the editor's work on the project
//   ProjectCommands   new, open and save of the project, the questions about unsaved changes
//   DeviceCommands    the commands on the module, the progress window, the network device list
//   DeviceController  the device session, its background worker, the status poll, the running command
//   StatusLine        the status bar's panels and summaries
//   ProjectDocument   the project shown, its file name, changed flag and current entry
// The window itself (MainWindow.cpp) does start-up and shutdown, the settings file, the caption, the
// device selector and the project settings dialog, and applies the device status and the command
// enabling rules; Construction.cpp builds its actions, menus and tool bars and the parts.
#include <QHash>
#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "base/CodePage.h"
#include "device/DeviceClass.h"
#include "device/DeviceTypes.h"
#include "formats/PostProcess.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/Settings.h"
#include "window/ProjectDocument.h"
#include "workflow/ProjectTransfer.h"

class CatalogPane;
class DeviceCommands;
class DeviceController;
class EditorPane;
class FileWork;
class ProgramEditing;
class ProjectCommands;
class SettingsDialog;
class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class StatusLine;
class QTimer;
class QToolBar;
class QToolButton;
class UserDialogs;

namespace kalvort::workflow {
class DeviceSession;
struct DeviceSnapshot;
struct DeviceTarget;
}  // namespace kalvort::workflow

namespace kalvort::app {
class BackgroundWorker;
}

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(UserDialogs &dialogs, QWidget *parent = nullptr);
  ~MainWindow() override;

  // ---- The parts ----
  CatalogPane &catalogPane() const { return *catalog_pane_; }
  EditorPane &editorPane() const { return *editor_pane_; }
  ProgramEditing &programEditing() const { return *program_editing_; }
  ProjectCommands &projectCommands() const { return *project_commands_; }
  FileWork &fileWork() const { return *file_work_; }
  DeviceCommands &deviceCommands() const { return *device_commands_; }
  DeviceController &deviceController() const { return *device_controller_; }
  StatusLine &statusLine() const { return *status_; }
  ProjectDocument &projectDocument() { return document_; }

  // The window's own commands: the module, the project and the catalog (the catalog pane's), in
  // the order the command enabling rules are checked in.
  QList<QAction *> mainActions() const { return main_actions_; }
  // Recomputes command enabling from the last device status, the catalog and the editor state.
  void updateCommandStates();

  // ---- Devices ----
  // The network devices the selector offers (settings file, "Настройка сети устройств"); setting
  // them fills the selector afresh, no device chosen.
  const std::vector<kalvort::TNetDevice> &networkDevices() const { return net_devices_; }
  void setNetworkDevices(std::vector<kalvort::TNetDevice> devices);
  // The selector's chosen row (-1: none yet) and the network device it stands for (-1: the USB
  // programmer or none).
  int chosenDeviceRow() const { return chosen_device_row_; }
  int chosenNetworkDevice() const { return chosen_network_device_; }
  // True until the first status poll has chosen the USB programmer.
  bool awaitingFirstStatus() const { return first_status_pending_; }

  // ---- Start-up and shutdown ----
  // Title line "Калворт v1.1.7" and the window caption "Калворт v1.1.7 - <project file name>".
  static QString TitleLine();
  // Brings the window forward (a second start of the program asked for it).
  void BringToFront();
  // Opens a project named on the command line or by a later start, as soon as a device object
  // exists to hold its catalog.
  void OpenProjectFileWhenReady(const QString &fileName);
  // The window's size when the settings file has none: three quarters of the screen's free area,
  // not below 1024 x 700 (where every command and a whole hex line fit) unless the screen is smaller.
  static QSize DefaultWindowSize(const QSize &available);
  // False after a settings file that exists could not be read at start.
  bool SettingsReadable() const { return settings_readable_; }

 public slots:
  // "Настройки проекта".
  void OptionsActionExecute();
  void HelpAboutActionExecute();
  void FileExitActionExecute();
  // The device selector's change handler: the device object follows the chosen row.
  void DeviceSelectorChanged();

 signals:
  // A status poll finished and its texts were applied (tests and the benchmark wait on it).
  void statusApplied();
  // The main window was painted for the first time (start-up measurement).
  void firstPainted();
  // The processing options changed so that the current entry is shown afresh.
  void reprocessRequested();

 protected:
  void closeEvent(QCloseEvent *event) override;
  bool event(QEvent *event) override;

 private:
  // Construction (Construction.cpp).
  void CreateActions();
  void CreateProjectCommands();
  void CreateMenus();
  void CreateToolBars();
  void CreateCentralArea();
  void CreateLeftPane();
  void CreateCatalogPane();
  void CreateFileWork();
  void CreateProgramEditing();
  void CreateStatusLine();
  void CreateDeviceCommands();
  void NameToolButtons();
  void ConnectActions();
  void ConnectEditorPane();
  void SetupCatalogView();

  // Start-up and shutdown.
  void StartUp();
  // Runs the close questions and, unless the user cancelled, the shutdown steps, which set closed_:
  // at once, or when the save the user asked for has ended (the window is then closed again).
  void ConfirmCloseAndShutDown();
  void UpdateCaption();
  // Reads the settings file at start (KALVORT_CONFIG or the XDG location).
  void OpenSettings();
  // Writes the settings file at exit; never over a file that could not be read at start.
  bool SaveSettings();
  // Opens the file handed over last, once no device command and no other dialog is running.
  void OpenPendingFile();

  // The device status and the device object.
  // Applies one poll's result (null: there is no device object) to the status line and commands.
  void ApplyStatus(const kalvort::workflow::DeviceSnapshot *snapshot);
  // Connects the device controller's poll results and device changes to the window (a running
  // command's reports go to the device commands).
  void ConnectDeviceController();
  // Bytes of the project's valid binaries (the status line's "Всего N байт").
  uint32_t ProjectBinaryBytes() const;
  void ShowUpdatePrompt();
  void FillCombo();
  void ChangeDeviceType();
  void CreateDevice(const kalvort::workflow::DeviceTarget &target);
  // The chosen device is there: its settings from the window, then what waited for it.
  void AttachDevice();
  void DestroyDevice();
  void AskSaveBeforeDeviceChange();

  UserDialogs &dialogs_;

  // The window's own actions (captions, hints and shortcuts in Construction.cpp).
  QAction *DeviceRereadAction = nullptr;
  QAction *DeviceBurnAction = nullptr;
  QAction *DeviceClearSMPCatAction = nullptr;
  QAction *DeviceClearSMPFullAction = nullptr;
  QAction *DeviceTestSMPQuickAction = nullptr;
  QAction *DeviceTestSMPFullAction = nullptr;
  QAction *DeviceReadImageAction = nullptr;
  QAction *DeviceBurnImageAction = nullptr;
  QAction *DeviceCancelAction = nullptr;
  QAction *DeviceNetworkAction = nullptr;
  QAction *DeviceVerifyAction = nullptr;
  QAction *ProjectNewAction = nullptr;
  QAction *ProjectOpenAction = nullptr;
  QAction *ProjectSaveAction = nullptr;
  QAction *OptionsAction = nullptr;
  QAction *CheckAllFilesAction = nullptr;
  QAction *HelpAboutAction = nullptr;
  QAction *FileExitAction = nullptr;
  QList<QAction *> main_actions_;  // see mainActions()

  QMenu *FileMenu = nullptr;      // "Файл"
  QMenu *ProjectMenu = nullptr;   // "Проект"
  QMenu *DeviceMenu = nullptr;    // "Модуль памяти"
  QMenu *EditorMenu = nullptr;    // "Редактор"
  QMenu *HelpMenu = nullptr;      // "Помощь"
  QToolBar *MainToolBar = nullptr;
  QSplitter *MainSplitter = nullptr;
  QWidget *LeftPane = nullptr;
  QComboBox *DeviceSelector = nullptr;  // item data (Qt::UserRole) = tag

  // The parts.
  ProjectDocument document_;
  CatalogPane *catalog_pane_ = nullptr;
  EditorPane *editor_pane_ = nullptr;
  std::unique_ptr<ProgramEditing> program_editing_;
  ProjectCommands *project_commands_ = nullptr;
  // Opens, saves and checks the project off the window's thread.
  FileWork *file_work_ = nullptr;
  // Runs the status poll, the device creation and the device commands off the window's thread.
  DeviceController *device_controller_ = nullptr;
  std::unique_ptr<DeviceCommands> device_commands_;
  StatusLine *status_ = nullptr;

  // The device selector's state.
  std::vector<kalvort::TNetDevice> net_devices_;
  int chosen_device_row_ = -1;
  int chosen_network_device_ = -1;
  bool first_status_pending_ = true;
  int max_programs_ = 100;  // the catalog's capacity until a device sets its own

  QString pending_open_file_;  // see OpenProjectFileWhenReady
  bool opening_pending_file_ = false;
  bool open_retry_armed_ = false;
  kalvort::KalvortSettings settings_;
  bool settings_readable_ = true;
  bool closed_ = false;
  bool closing_now_ = false;      // inside closeEvent
  bool close_when_idle_ = false;  // a close came while file work ran: closed when it has ended
  bool painted_ = false;
  bool update_prompt_shown_ = false;
};
