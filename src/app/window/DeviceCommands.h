#pragma once
// DeviceCommands: the window's commands on the memory module -- write and read the project, erase
// and test, read and write an image, compare with the module, cancel -- and the network device
// list dialog. It runs each command as one transaction through the device controller, shows the
// progress window while it runs (disabling the window meanwhile), answers the chain's question and
// shows the outcome. It owns the progress window, which the conversions share, the comparison's
// window and the network dialog.
//
// It knows the window's parts, the project document and the project and editing commands below
// it, never the window itself: what the window must do in return goes up as signals.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "device/DeviceTypes.h"
#include "formats/PostProcess.h"
#include "workflow/ProjectTransfer.h"

class CatalogPane;
class DeviceController;
class EditorPane;
class ProjectDocument;
class StatusLine;
class NetSettingsDialog;
class ProgramEditing;
class ProjectCommands;
class ProgressWindow;
class VerifyDialog;
class UserDialogs;
class QWidget;

class DeviceCommands : public QObject {
  Q_OBJECT

 public:
  // `editing` and `project` are the catalog and editor glue and the project commands they use
  // (asking to save first, showing a program); `netDevices` gives the window's list of network
  // devices, which the network dialog edits. `window` is the parent of the dialogs, and is disabled
  // while a command runs.
  DeviceCommands(ProjectDocument &document, DeviceController &device, CatalogPane &catalog, EditorPane &editor,
                 StatusLine &status, ProgramEditing &editing, ProjectCommands &project, UserDialogs &dialogs,
                 QWidget &window, std::function<std::vector<kalvort::TNetDevice> &()> netDevices);
  ~DeviceCommands() override;

  // The progress window, made on first use: a window of its own, so that it stays usable while the
  // main window is disabled. The device commands and the conversions share it.
  ProgressWindow &progressForm();
  bool hasProgressForm() const { return progress_form_ != nullptr; }
  // The differences found by "Сверить с МП"; null before the first comparison.
  VerifyDialog *verifyForm() const { return verify_form_.get(); }
  // "Настройка сети устройств"; null before it was first opened. Kept, with its last search's results.
  NetSettingsDialog *netSettingsForm() const { return net_settings_form_.get(); }

 public slots:
  void DeviceRereadActionExecute();
  void DeviceBurnActionExecute();
  void DeviceClearSMPCatActionExecute();
  void DeviceClearSMPFullActionExecute();
  void DeviceTestSMPQuickActionExecute();
  void DeviceTestSMPFullActionExecute();
  void DeviceReadImageActionExecute();
  void DeviceBurnImageActionExecute();
  void DeviceCancelActionExecute();
  void DeviceNetworkActionExecute();
  void DeviceVerifyActionExecute();

 signals:
  // A command began or ended, or changed the project: the window's commands are enabled afresh.
  void commandStatesChanged();
  // The network dialog was confirmed: the device selector shows the edited list.
  void netDevicesChanged();

 private:
  // Connects the controller's reports of a running command to the progress window, the chain's
  // question and the command's end.
  void ConnectDeviceController();
  bool BeginDeviceCommand();
  void EndDeviceCommand();
  void CheckDeviceThen(const QString &title, std::function<void()> next);
  // `onBegun` runs at the chain's first status text; `finish` with the result unless cancelled.
  void RunDeviceChain(const QString &caption, const QString &text,
                      std::function<kalvort::TransferResult(kalvort::ProjectTransfer &)> chain,
                      std::function<void(const kalvort::TransferResult &)> finish,
                      std::function<void()> onBegun = {});
  // The chain returned: the outcome shown, the window idle again.
  void DeviceChainFinished(const kalvort::TransferResult &result);
  // "Прочитать проект из МП" once unsaved changes were settled.
  void ReadProjectFromModule();
  void RunEraseOrTest(bool test, bool full);
  void ShowTransferMessage(const kalvort::TransferResult &r);
  // A chain refused for a text program that does not convert: the program shown and marked as
  // "Проверить проект" does. False when `r` is no such refusal.
  bool ShowRefusedConversion(const kalvort::TransferResult &r);
  // `text` in the status bar for a few seconds, the panels kept in view.
  void ShowCommandSummary(const QString &text);
  // "Текущее действие отменено", or the cancelled chain's own words (`text`).
  void CancelActionComplete(const QString &text = {});

  ProjectDocument &document_;
  DeviceController &device_;
  CatalogPane &catalog_;
  EditorPane &editor_;
  StatusLine &status_;
  UserDialogs &dialogs_;
  QWidget &window_;
  ProgramEditing &editing_;
  ProjectCommands &project_commands_;
  std::function<std::vector<kalvort::TNetDevice> &()> net_devices_;

  std::unique_ptr<ProgressWindow> progress_form_;
  std::unique_ptr<VerifyDialog> verify_form_;
  std::unique_ptr<NetSettingsDialog> net_settings_form_;
  std::function<void(const kalvort::TransferResult &)> chain_finish_;  // the running chain's `finish`
};
