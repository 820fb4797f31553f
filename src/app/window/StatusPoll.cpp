// The status poll's results: every 250 ms the device controller reads the device's state (off the
// window's thread); here the status line shows it and the commands are enabled to match the
// device, the catalog and the editor.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "dialogs/UpdatePrompt.h"
#include "workflow/CommandRules.h"
#include "window/CatalogPane.h"
#include "window/DeviceController.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"

using kalvort::workflow::DeviceSnapshot;

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
  if (first_time) {
    // The first tick selects the USB programmer, whatever was in use when the program last ended.
    first_time = false;
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
  Status->setPanelText(StatusLine::Device, t0);
  Status->setPanelText(StatusLine::Module, t1);
  Status->setPanelText(StatusLine::Size, t2);
  if (Status->panelText(StatusLine::ProjectType) != t3) {
    Status->setPanelText(StatusLine::ProjectType, t3);
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
  kalvort::app::RunUpdatePrompt(Dialogs, this);
  close();
}
