// DeviceCommands: write and read the project, quick and full erase and test, read and write a
// module image, compare the project with the module, cancel, and the network device list.
//
// Each command is one transaction: the status poll is stopped, the window disabled, and the
// command's jobs go to the device controller's worker, queued behind a poll in flight (nothing
// waits for it). The core's chain (ProjectTransfer) runs there, so the window keeps painting and
// the progress window's "Отмена" acts while the module works. Status texts and progress arrive
// here as the controller's signals; the chain's one question (a control-sum error while reading)
// is answered on this thread while the worker waits. When the chain returns, the progress window
// is hidden, the window enabled again, the outcome shown and the status poll restarted -- on
// every path.

#include "window/DeviceCommands.h"

#include <QFileInfo>

#include <fstream>
#include <sstream>

#include "base/SafeSave.h"
#include "dialogs/NetSettingsDialog.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/VerifyDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/DeviceController.h"
#include "window/EditorPane.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "window/ProjectDocument.h"
#include "window/StatusLine.h"
#include "workflow/DeviceSession.h"

using kalvort::ProjectTransfer;
using kalvort::TDevCatalog;
using kalvort::TDevCatalogEntry;
using kalvort::TransferResult;
using kalvort::TransferStatus;

namespace {

QString qtText(const std::string &text) { return QString::fromStdString(text); }

TransferResult failure(const char *title, const std::string &message) {
  TransferResult r;
  r.status = TransferStatus::Failed;
  r.error = kalvort::deOperationError;
  r.title = title;
  r.message = message;
  r.warning = true;
  return r;
}

}  // namespace

// ---- the transaction ----

DeviceCommands::DeviceCommands(ProjectDocument &document, DeviceController &device, CatalogPane &catalog,
                               EditorPane &editor, StatusLine &status, ProgramEditing &editing,
                               ProjectCommands &project, UserDialogs &dialogs, QWidget &window,
                               std::function<std::vector<kalvort::TNetDevice> &()> netDevices)
    : document_(document),
      device_(device),
      catalog_(catalog),
      editor_(editor),
      status_(status),
      dialogs_(dialogs),
      window_(window),
      editing_(editing),
      project_commands_(project),
      net_devices_(std::move(netDevices)) {
  ConnectDeviceController();
}

DeviceCommands::~DeviceCommands() = default;

void DeviceCommands::ConnectDeviceController() {
  connect(&device_, &DeviceController::progressChanged, this,
          [this](int position) { progressForm().setPosition(position); });
  connect(&device_, &DeviceController::overallProgress, this, [this](int program, int programs, int percent) {
    progressForm().setOverall(program, programs, percent);
  });
  connect(&device_, &DeviceController::chainStatusChanged, this, [this](const QString &text) {
    ProgressWindow &progress = progressForm();
    progress.setStatusText(text);
    progress.setPosition(0);
    progress.showOver(&window_);
  });
  connect(&device_, &DeviceController::readErrorQuestion, this, [this](bool *goOn) {
    // Over the progress window: the main window is disabled, and so would be a box it owns.
    *goOn = dialogs_.ask(&progressForm(), QMessageBox::Warning, QStringLiteral("Чтение файла"),
                         QStringLiteral("Ошибка чтения файла! Продолжить?"),
                         QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  });
  connect(&device_, &DeviceController::commandFinished, this, &DeviceCommands::DeviceChainFinished);
}

bool DeviceCommands::BeginDeviceCommand() {
  if (!device_.beginCommand()) return false;
  progressForm();
  window_.setEnabled(false);
  return true;
}

ProgressWindow &DeviceCommands::progressForm() {
  if (!progress_form_) {
    progress_form_ = std::make_unique<ProgressWindow>(&window_);
    connect(progress_form_.get(), &ProgressWindow::cancelRequested, this, &DeviceCommands::DeviceCancelActionExecute);
  }
  return *progress_form_;
}

void DeviceCommands::EndDeviceCommand() {
  progress_form_->hide();
  window_.setEnabled(true);
  chain_finish_ = nullptr;
  device_.endCommand();  // its chain has returned (or never started): nothing waits
  device_.startPolling();
  emit commandStatesChanged();
}

void DeviceCommands::CheckDeviceThen(const QString &title, std::function<void()> next) {
  device_.checkDeviceThen([this, title, next = std::move(next)](bool ok, const QString &message) {
    // Questions and file dialogs follow: they need the window enabled.
    window_.setEnabled(true);
    if (ok) {
      next();
      return;
    }
    // Why the command cannot start: no module, the device not connected or busy.
    if (!message.isEmpty()) dialogs_.ask(&window_, QMessageBox::Warning, title, message, QMessageBox::Ok);
    EndDeviceCommand();
  });
}

void DeviceCommands::RunDeviceChain(const QString &caption, const QString &text,
                                    std::function<TransferResult(ProjectTransfer &)> chain,
                                    std::function<void(const TransferResult &)> finish,
                                    std::function<void()> onBegun) {
  window_.setEnabled(false);
  progress_form_->setCaption(caption);
  progress_form_->setStatusText(text);
  progress_form_->setPosition(0);
  progress_form_->clearOverall();
  // With a text of its own the window shows at once; otherwise at the chain's first status text,
  // i.e. once the device is open and checked and the chain's preparation has passed.
  if (!text.isEmpty()) progress_form_->showOver(&window_);
  chain_finish_ = std::move(finish);
  device_.runChain(std::move(chain), std::move(onBegun));
}

void DeviceCommands::DeviceChainFinished(const TransferResult &result) {
  progress_form_->hide();
  window_.setEnabled(true);
  if (result.status == TransferStatus::Cancelled)
    CancelActionComplete(qtText(result.message));
  else if (const auto finish = std::exchange(chain_finish_, nullptr))
    finish(result);
  EndDeviceCommand();
}

void DeviceCommands::ShowTransferMessage(const TransferResult &r) {
  if (r.status == TransferStatus::OpenFailed && r.message.empty()) {
    // The device could not be opened: say why rather than end without a word.
    dialogs_.ask(&window_, QMessageBox::Warning, r.title.empty() ? QStringLiteral("Ошибка") : qtText(r.title),
                 qtText(kalvort::workflow::OpenFailureText(r.error)), QMessageBox::Ok);
    return;
  }
  if (r.message.empty()) return;
  dialogs_.ask(&window_, r.warning ? QMessageBox::Warning : QMessageBox::NoIcon, qtText(r.title),
               qtText(r.message), QMessageBox::Ok);
}

bool DeviceCommands::ShowRefusedConversion(const TransferResult &r) {
  TDevCatalog &catalog = document_.programs();
  if (r.status != TransferStatus::Refused || r.entry_index < 0 || r.entry_index >= catalog.CatalogCount() ||
      r.conversion.conv_err_code == kalvort::kConvErrNone)
    return false;
  // As "Проверить проект": the failing program in the editor, its row selected and marked "!"
  // without showing it again.
  catalog.FileErrorSet(r.entry_index, kalvort::feProcessError);
  editing_.showConversionFailure(r.entry_index, r.conversion);
  catalog.CalculateMPStat();
  catalog_.refresh();
  editing_.makeCurrent(r.entry_index);
  const int row = catalog_.rowOf(r.entry_index);
  catalog_.selectRows(row, row, false);
  emit commandStatesChanged();
  return true;
}

void DeviceCommands::ShowCommandSummary(const QString &text) { status_.showSummary(text); }

void DeviceCommands::CancelActionComplete(const QString &text) {
  dialogs_.ask(&window_, QMessageBox::NoIcon, QStringLiteral("Отмена"),
               text.isEmpty() ? QStringLiteral("Текущее действие отменено") : text, QMessageBox::Ok);
  document_.programs().CalculateMPStat();
  document_.setCurrentEntryIndex(0);
  catalog_.refresh();
  editing_.showCurrentRow();
}

void DeviceCommands::DeviceCancelActionExecute() { device_.cancel(); }

// ---- write and read the project ----

void DeviceCommands::DeviceBurnActionExecute() {
  if (dialogs_.ask(&window_, QMessageBox::NoIcon, QStringLiteral("Предупреждение"),
                   QStringLiteral("Записать проект на модуль?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  if (!BeginDeviceCommand()) return;
  RunDeviceChain(
      QStringLiteral("Запись..."), QString(), [this](ProjectTransfer &t) { return t.RunWriteProject(document_.project()); },
      [this](const TransferResult &r) {
        // Text programs given a binary by the write change the project, whatever came after.
        if (r.derived_binaries > 0) document_.setChanged(true);
        if (ShowRefusedConversion(r)) return;
        if (r.status == TransferStatus::NoModule || r.status == TransferStatus::OpenFailed) {
          ShowTransferMessage(r);
          return;
        }
        catalog_.refresh();
        ShowTransferMessage(r);
        if (r.ok())
          ShowCommandSummary(QStringLiteral("Проект записан в МП: %1 программ, %2 байт").arg(r.programs).arg(r.bytes));
      });
}

void DeviceCommands::DeviceRereadActionExecute() {
  // The read replaces the project: unsaved changes are offered for saving first (the read follows
  // the save, which runs on the file worker).
  project_commands_.saveChangesFirst([this](bool goOn) {
    if (goOn) ReadProjectFromModule();
  });
}

void DeviceCommands::ReadProjectFromModule() {
  if (!BeginDeviceCommand()) return;
  // The project takes what was read when the read gave a project to take (complete, or with
  // control-sum errors the user accepted); otherwise it stays as it was.
  const auto taken = [](const TransferResult &r) {
    return r.ok() || r.status == TransferStatus::ChecksumErrors || r.status == TransferStatus::Stopped;
  };
  // The editor is emptied once the read has really begun (the catalog step's status).
  const auto begun = [this] {
    editor_.showNothing();
    editor_.setTextChanged(false);
  };
  RunDeviceChain(
      QStringLiteral("Чтение..."), QString(), [this](ProjectTransfer &t) { return t.RunReadProject(document_.project()); },
      [this, taken](const TransferResult &r) {
        if (!taken(r)) {
          ShowTransferMessage(r);
          document_.setCurrentEntryIndex(0);
          catalog_.refresh();
          project_commands_.showFirstRow();
          return;
        }
        // A complete read of an empty module leaves nothing to save; anything else changed the project.
        document_.setChanged(!(r.ok() && document_.programs().CatalogCount() == 0));
        // Control-sum errors were asked about as they came (the entries carry "!").
        const bool cs = r.status == TransferStatus::ChecksumErrors || r.status == TransferStatus::Stopped;
        if (!cs) ShowTransferMessage(r);
        if (r.ok())
          ShowCommandSummary(QStringLiteral("Проект прочитан из МП: %1 программ, %2 байт").arg(r.programs).arg(r.bytes));
        document_.setCurrentEntryIndex(0);
        catalog_.refresh();
        project_commands_.showFirstRow();
        catalog_.setFocus();
      },
      begun);
}

// ---- erase and test ----

void DeviceCommands::RunEraseOrTest(bool test, bool full) {
  const QString title = test ? (full ? QStringLiteral("Полная проверка МП") : QStringLiteral("Быстрая проверка МП"))
                             : (full ? QStringLiteral("Полная очистка МП") : QStringLiteral("Быстрая очистка МП"));
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this, title, test, full] {
    // Both overwrite the module's content: the safe answer is the default.
    const QString question = test ? QStringLiteral("Тестировать МП?\nСодержимое МП будет стерто.")
                                  : QStringLiteral("Очистить МП?");
    if (dialogs_.ask(&window_, QMessageBox::NoIcon, title, question, QMessageBox::Ok | QMessageBox::Cancel,
                     QMessageBox::Cancel) != QMessageBox::Ok) {
      EndDeviceCommand();
      return;
    }
    const QString caption = test ? (full ? QStringLiteral("Полный тест МП...") : QStringLiteral("Быстрый тест МП..."))
                                 : (full ? QStringLiteral("Полная очистка МП...")
                                         : QStringLiteral("Быстрая очистка МП..."));
    RunDeviceChain(
        caption, QString(),
        [test, full](ProjectTransfer &t) { return test ? t.RunTest(full) : t.RunErase(full); },
        [this, test](const TransferResult &r) {
          ShowTransferMessage(r);
          if (r.ok()) ShowCommandSummary(test ? QStringLiteral("Тест МП завершен") : QStringLiteral("МП очищен"));
        });
  });
}

void DeviceCommands::DeviceClearSMPCatActionExecute() { RunEraseOrTest(false, false); }
void DeviceCommands::DeviceClearSMPFullActionExecute() { RunEraseOrTest(false, true); }
void DeviceCommands::DeviceTestSMPQuickActionExecute() { RunEraseOrTest(true, false); }
void DeviceCommands::DeviceTestSMPFullActionExecute() { RunEraseOrTest(true, true); }

// ---- images ----

void DeviceCommands::DeviceReadImageActionExecute() {
  const QString title = QStringLiteral("Прочитать образ из МП");
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this] {
    QString file = dialogs_.saveFileName(&window_, QStringLiteral("Сохранение файла"),
                                         QStringLiteral("Двоичный файл (*.bin)"));
    if (file.isEmpty()) {
      EndDeviceCommand();
      return;
    }
    file = withDefaultSuffix(file, QStringLiteral("bin"));
    if (QFileInfo::exists(file) &&
        dialogs_.ask(&window_, QMessageBox::Warning, QStringLiteral("Чтение образа"),
                     QStringLiteral("Такой файл существует. Перезаписать?"),
                     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok) {
      EndDeviceCommand();
      return;
    }
    const std::string path = file.toStdString();
    RunDeviceChain(
        QStringLiteral("Чтение образа с МП..."), QFileInfo(file).fileName(),
        [path](ProjectTransfer &t) {
          // The image is gathered aside and replaces the file only when the whole read succeeded,
          // so a failed or cancelled read leaves an earlier image as it was.
          std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
          TransferResult r = t.RunReadImage(image);
          std::string error;
          if (r.ok() && !kalvort::SafeSaveFile(path, image.str(), &error))
            r = failure("Ошибка", "Ошибка сохранения файла! " + error);
          return r;
        },
        [this](const TransferResult &r) {
          ShowTransferMessage(r);
          if (r.ok()) ShowCommandSummary(QStringLiteral("Образ МП прочитан: %1 байт").arg(r.bytes));
        });
  });
}

void DeviceCommands::DeviceBurnImageActionExecute() {
  const QString title = QStringLiteral("Записать образ на МП");
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this, title] {
    const QString file = dialogs_.openFileName(&window_, title, QStringLiteral("Двоичный файл (*.bin)"));
    if (file.isEmpty()) {
      EndDeviceCommand();
      return;
    }
    const std::string path = file.toStdString();
    RunDeviceChain(
        QStringLiteral("Запись образа на МП..."), QFileInfo(file).fileName(),
        [path](ProjectTransfer &t) {
          std::fstream image(path, std::ios::in | std::ios::binary);
          if (!image) return failure("Записать образ на МП", "Ошибка открытия файла.");
          return t.RunWriteImage(image);
        },
        [this](const TransferResult &r) {
          ShowTransferMessage(r);
          if (r.ok()) ShowCommandSummary(QStringLiteral("Образ записан в МП: %1 байт").arg(r.bytes));
        });
  });
}

// ---- compare with the module ----

void DeviceCommands::DeviceVerifyActionExecute() {
  if (!BeginDeviceCommand()) return;
  // The chain reads the module into the device's catalog; the project stays where it is.
  auto report = std::make_shared<kalvort::VerifyReport>();
  RunDeviceChain(
      QStringLiteral("Сверка с МП..."), QString(),
      [this, report](ProjectTransfer &t) {
        *report = t.RunVerify(document_.project());
        return report->read;
      },
      [this, report](const TransferResult &r) {
        catalog_.refresh();
        if (ShowRefusedConversion(r)) return;
        if (!r.ok()) {
          ShowTransferMessage(r);
          return;
        }
        if (!verify_form_) verify_form_ = std::make_unique<VerifyDialog>(&window_);
        verify_form_->setDifferences(report->differences);
        verify_form_->open();
      });
}

// ---- the network device list ----

void DeviceCommands::DeviceNetworkActionExecute() {
  // The dialog's probes use the one network socket: no status poll meanwhile (a poll in flight
  // returns before the first probe, which is queued behind it on the same worker).
  device_.stopPolling();
  std::vector<kalvort::TNetDevice> &devices = net_devices_();
  const std::vector<kalvort::TNetDevice> backup = devices;
  if (!net_settings_form_)
    net_settings_form_ = std::make_unique<NetSettingsDialog>(dialogs_, &window_, &device_.worker());
  net_settings_form_->setDevices(&devices);
  if (net_settings_form_->exec() == QDialog::Accepted) {
    // The selector shows its first entry; the device object changes only when the user picks one.
    emit netDevicesChanged();
  } else {
    devices = backup;
  }
  device_.startPolling();
}
