// The status poll: every 250 ms the device is opened, its state read and closed again (off the
// window's thread), the status line shows the result and the commands are enabled to match the
// device, the catalog and the editor.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "dialogs/UpdatePrompt.h"
#include "workflow/CommandRules.h"
#include "workflow/DeviceSession.h"
#include "support/BackgroundWorker.h"
#include "window/CatalogPane.h"
#include "window/MainWindow.h"
#include "window/StatusLine.h"

using kalvort::workflow::DeviceSnapshot;

void MainWindow::StatusTimerTick() {
  if (first_time) {
    // The first tick selects the USB programmer, whatever was in use when the program last ended.
    first_time = false;
    DeviceSelector->setCurrentIndex(0);
    DeviceSelectorChanged();
    return;
  }
  // One poll at a time: while a poll, a device creation or a held hot-plug event waits on the
  // worker, this tick is skipped.
  if (worker_->pending() > 0) return;
  if (!MemDevice) {
    ApplyStatus(nullptr);
    return;
  }
  kalvort::workflow::DeviceSession *session = MemDevice.get();
  const uint64_t generation = poll_generation_;
  worker_->run<DeviceSnapshot>(this, [session] { return session->Poll(); },
                               [this, generation](DeviceSnapshot &snapshot) {
                                 // A poll that finished after the timer was stopped is stale.
                                 if (generation != poll_generation_ || !StatusTimer->isActive()) return;
                                 ApplyStatus(&snapshot);
                               });
}

void MainWindow::stopStatusPoll() {
  StatusTimer->stop();
  ++poll_generation_;
}

void MainWindow::startStatusPoll() {
  if (closed_) return;
  StatusTimer->start();
}

uint32_t MainWindow::ProjectBinaryBytes() const {
  if (!MemDevice) return 0;
  const kalvort::TDevCatalog &programs = project_.Programs();
  uint64_t all = 0;
  for (int i = 0, n = programs.CatalogCount(); i < n; ++i) {
    const kalvort::TDevCatalogEntry entry = programs.Catalog(i);
    if (entry.file_bin_valid) all += entry.prog_size;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(all, INT32_MAX));
}

void MainWindow::ApplyStatus(const DeviceSnapshot *snapshot) {
  QString t0, t1, t2;
  device_connected_ = false;
  device_version_ = 0;
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
    device_connected_ = texts.connected;
    device_version_ = texts.full_commands ? snapshot->state.version : 0;
    update_prompt = texts.update_prompt;
    if (texts.force_2c42) {
      CurrentOptions.processing.enabled = true;
      CurrentOptions.processing.project_type = 0;
    }
  }
  const kalvort::ProcessingOptions &processing = CurrentOptions.processing;
  const QString t3 =
      MemDevice ? QString::fromStdString(kalvort::workflow::ProjectTypeText(processing.enabled, processing.project_type))
                : QString();
  Status->setPanelText(StatusLine::Device, t0);
  Status->setPanelText(StatusLine::Module, t1);
  Status->setPanelText(StatusLine::Size, t2);
  if (Status->panelText(StatusLine::ProjectType) != t3) {
    Status->setPanelText(StatusLine::ProjectType, t3);
    if (CurrentOptions.processing.enabled) FillActionSelector();
  }
  updateCommandStates();
  emit statusApplied();
  if (update_prompt && !update_prompt_shown_) {
    update_prompt_shown_ = true;
    ShowUpdatePrompt();
  }
}

void MainWindow::FillActionSelector() {
  ActionSelector->clear();
  if (CurrentOptions.processing.project_type == 0) {
    ActionSelector->addItems({QStringLiteral("Добавить NULL в конец кадра"), QStringLiteral("Убрать все NULL"),
                         QStringLiteral("Убрать все пробелы")});
  } else if (CurrentOptions.processing.project_type == 1) {
    ActionSelector->addItems({QStringLiteral("Удалить номера кадров"), QStringLiteral("Перенумеровать кадры")});
  } else {
    ActionSelector->setEnabled(false);
    EditorRunAction->setEnabled(false);
    return;
  }
  ActionSelector->setCurrentIndex(0);
}

void MainWindow::updateCommandStates() {
  using kalvort::workflow::Command;
  kalvort::workflow::CommandState state;
  state.has_device = MemDevice != nullptr;
  state.connected = device_connected_;
  state.device_version = device_version_;
  state.programs = MemDevice ? project_.Programs().CatalogCount() : 0;
  state.text_changed = text_changed;
  state.processing = CurrentOptions.processing.enabled && cur_catalog_entry.need_p_proc;
  state.entry_text_valid = cur_catalog_entry.file_txt_valid;
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
      {Command::RunEdit, EditorRunAction},
      {Command::CheckFile, CheckFileAction},           {Command::ConfirmText, EditorOkAction},
      {Command::DiscardText, EditorCancelAction},      {Command::Find, EditorSearchAction},
      {Command::Replace, EditorReplaceAction},         {Command::ZoomIn, EditorZoomInAction},
      {Command::ZoomOut, EditorZoomOutAction},         {Command::OpenTextFile, EditorOpenFileAction},
      {Command::SaveTextFile, EditorSaveFileAction},   {Command::Cut, EditorCutAction},
      {Command::Copy, EditorCopyAction},               {Command::Paste, EditorPasteAction},
      {Command::SelectAll, EditorSelectAllAction},     {Command::Undo, EditorUndoAction},
  };
  for (const auto &[command, action] : actions) action->setEnabled(kalvort::workflow::Has(enabled, command));
  catalog_pane_->applyCommands(enabled);
  ActionSelector->setEnabled(kalvort::workflow::Has(enabled, Command::EditSelector));
  // An empty project has nothing to type into.
  if (MemDevice && state.programs == 0) EditorWidget->setReadOnly(true);
}

void MainWindow::ShowUpdatePrompt() {
  stopStatusPoll();
  kalvort::app::RunUpdatePrompt(Dialogs, this);
  close();
}
