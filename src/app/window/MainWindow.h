#pragma once
// MainWindow: the main window. One class, split into files by concern:
//   Construction.cpp     menus, tool bars, splitter, status line, every QAction
//   Lifecycle.cpp        start-up, close, settings, about, exit
//   StatusPoll.cpp       the status poll's results and the command enabling rules
//   DeviceSelection.cpp  device selector, device object replacement, settings dialog
//   DeviceController     (a part of its own) the device session, its worker, poll and command
//   EditorPane           (a part of its own) the editor, its commands and tool bars
//   CatalogPane          (a part of its own) the catalog list, its model, tool bar and commands
//   ProgramEditing       (a class of its own) the catalog selection and the editor's work on the project
//   ProjectCommands      (a class of its own) new, open and save of the project, unsaved-changes questions
//   DeviceCommands       (a class of its own) the device commands and the network device list
// The catalog list with its tool bar and commands is a part of its own (CatalogPane).
// Members are public so that the GUI tests can drive and inspect the window.

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
class ProgramEditing;
class ProjectCommands;
class TSettingsForm;
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

  UserDialogs &Dialogs;

  // ---- Actions (captions, hints and shortcuts in Construction.cpp) ----
  // Device commands ("Модуль памяти")
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
  // Project commands
  QAction *ProjectNewAction = nullptr;
  QAction *ProjectOpenAction = nullptr;
  QAction *ProjectSaveAction = nullptr;
  QAction *OptionsAction = nullptr;
  QAction *CheckAllFilesAction = nullptr;
  // Application
  QAction *HelpAboutAction = nullptr;
  QAction *FileExitAction = nullptr;

  // The main action list (device, project and catalog commands, SaveCatAsTxtAction,
  // DeviceCancelAction, DeviceNetworkAction).
  QList<QAction *> MainActionList;

  // ---- Widgets ----
  QMenu *FileMenu = nullptr;      // "Файл"
  QMenu *ProjectMenu = nullptr;   // "Проект"
  QMenu *DeviceMenu = nullptr;    // "Модуль памяти"
  QMenu *EditorMenu = nullptr;    // "Редактор"
  QMenu *HelpMenu = nullptr;      // "Помощь"
  QToolBar *MainToolBar = nullptr;
  QSplitter *MainSplitter = nullptr;
  QWidget *LeftPane = nullptr;
  QComboBox *DeviceSelector = nullptr;      // device selector; item data (Qt::UserRole) = tag
  // The catalog list with its tool bar and commands.
  CatalogPane &catalogPane() const;
  StatusLine *Status = nullptr;

  // ---- State ----
  // The project shown: its programs and options, file name, changed flag and current entry.
  ProjectDocument &projectDocument() { return document_; }
  bool first_time = true;
  int CurDeviceNum = -1;
  int CurNetDeviceNum = -1;
  std::vector<kalvort::TNetDevice> NetDevices;
  int MaxProgNum = 100;

  // ---- Status poll (StatusPoll.cpp) ----
  // Recomputes command enabling from the last device status, the catalog and the editor state.
  void updateCommandStates();

  // ---- Device selection (DeviceSelection.cpp) ----
  void FillCombo();
  void ChangeDeviceType();

  // ---- Start-up and shutdown (Lifecycle.cpp) ----
  // Title line "Калворт v1.1.7" and the window caption "Калворт v1.1.7 - <project_name>".
  static QString TitleLine();
  void UpdateCaption();
  // Brings the window forward (a second start of the program asked for it).
  void BringToFront();
  // Opens a project named on the command line or by a later start, as soon as a device object
  // exists to hold its catalog.
  void OpenProjectFileWhenReady(const QString &fileName);
  // Reads the settings file at start (KALVORT_CONFIG or the XDG location).
  void OpenSettings();
  // The window's size when the settings file has none: three quarters of the screen's free area,
  // not below 1024 x 700 (where every command and a whole hex line fit) unless the screen is smaller.
  static QSize DefaultWindowSize(const QSize &available);
  // Writes the settings file at exit; never over a file that could not be read at start.
  bool SaveSettings();
  // False after a settings file that exists could not be read at start.
  bool SettingsReadable() const { return settings_readable_; }

  // ---- Catalog and editor (ProgramEditing, ProjectCommands) ----

  // The project's programs (MainWindow.cpp).
  kalvort::TDevCatalog *Catalog();  // the project's programs
  const kalvort::TDevCatalog *Catalog() const;

  // Editor: the editor pane, and the work between it and the catalog (ProgramEditing).
  EditorPane &editorPane() const { return *editor_pane_; }
  ProgramEditing &programEditing() const { return *program_editing_; }
 private:
  EditorPane *editor_pane_ = nullptr;
  std::unique_ptr<ProgramEditing> program_editing_;  // see programEditing()
 public:

  // New, open and save of the project, its file and the questions about unsaved changes.
  ProjectCommands &projectCommands() const { return *project_commands_; }

  // ---- Device commands ----
  // The commands on the module and the network device list; they own the progress window that
  // the conversions share.
  DeviceCommands &deviceCommands() const { return *device_commands_; }
  // The device session, its background worker, the status poll and the running device command.
  DeviceController &deviceController() const { return *device_controller_; }

 public slots:
  // Project commands
  // Application commands
  void OptionsActionExecute();
  void HelpAboutActionExecute();
  void FileExitActionExecute();
  // The device selector's change handler.
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
  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreateCentralArea();
  void CreateLeftPane();
  void CreateStatusLine();
  void CreateDeviceCommands();
  void NameToolButtons();
  void ConnectActions();
  void CreateProjectCommands();
  void FormCreate();
  // Runs the close question and the shutdown steps; false when the user cancelled.
  bool FormClose();

  // Applies one poll's result (null: there is no device object) to the status line and commands.
  void ApplyStatus(const kalvort::workflow::DeviceSnapshot *snapshot);
  // Connects the device controller's poll results and device changes to the window (a running
  // command's reports go to the device commands).
  void ConnectDeviceController();
  // Bytes of the project's valid binaries (the status line's "Всего N байт").
  uint32_t ProjectBinaryBytes() const;
  void ShowUpdatePrompt();
  void CreateDevice(const kalvort::workflow::DeviceTarget &target);
  // The chosen device is there: its settings from the window, then what waited for it.
  void AttachDevice();
  void DestroyDevice();
  void AskSaveBeforeDeviceChange();

  QString pending_open_file_;  // see OpenProjectFileWhenReady
  bool opening_pending_file_ = false;
  bool open_retry_armed_ = false;
  // Opens the file handed over last, once no device command and no other dialog is running.
  void OpenPendingFile();
  // Catalog and editor
  void CreateCatalogPane();
  void CreateProgramEditing();
  void SetupCatalogView();
  void ConnectEditorPane();
  CatalogPane *catalog_pane_ = nullptr;  // see catalogPane()

  ProjectDocument document_;
  ProjectCommands *project_commands_ = nullptr;  // see projectCommands()
  // Runs the status poll, the device creation and the device commands off the window's thread.
  DeviceController *device_controller_ = nullptr;
  std::unique_ptr<DeviceCommands> device_commands_;  // see deviceCommands()
  kalvort::KalvortSettings settings_;
  bool settings_readable_ = true;
  bool closed_ = false;
  bool painted_ = false;
  bool update_prompt_shown_ = false;
};
