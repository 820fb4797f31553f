// Device commands: write and read the project, quick and full erase and test, read and write a
// module image, compare the project with the module, cancel.
//
// Each command is one transaction: the status poll is stopped, the window disabled, and the
// command's jobs go to the device controller's worker, queued behind a poll in flight (nothing
// waits for it). The core's chain (ProjectTransfer) runs there, so the window keeps painting and
// the progress window's "Отмена" acts while the module works. Status texts and progress arrive
// here as the controller's signals; the chain's one question (a control-sum error while reading)
// is answered on this thread while the worker waits. When the chain returns, the window
// hides the progress window, enables itself, shows the outcome and restarts the status poll --
// on every path.

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>

#include <fstream>
#include <sstream>

#include "base/SafeSave.h"
#include "dialogs/ProgressForm.h"
#include "dialogs/VerifyDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/DeviceController.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"
#include "window/StatusLine.h"
#include "workflow/DeviceSession.h"

using kalvort::ProjectTransfer;
using kalvort::TDevCatalog;
using kalvort::TDevCatalogEntry;
using kalvort::TransferResult;
using kalvort::TransferStatus;

namespace {

QString fromUtf8(const std::string &text) { return QString::fromStdString(text); }

TransferResult failure(const char *title, const std::string &message) {
  TransferResult r;
  r.status = TransferStatus::Failed;
  r.error = kalvort::deOperationError;
  r.title = title;
  r.message = message;
  r.warning = true;
  return r;
}

// Entries a project write derives a binary for (the project changes when it does).
std::vector<int> entriesToDerive(const TDevCatalog &catalog, bool need_proc) {
  std::vector<int> out;
  for (int i = 0; i < catalog.CatalogCount(); ++i) {
    const TDevCatalogEntry e = catalog.Catalog(i);
    if (e.file_bin_valid) continue;
    if (need_proc ? e.need_p_proc : e.file_txt_valid) out.push_back(i);
  }
  return out;
}

}  // namespace

// ---- the transaction ----

void MainWindow::ConnectDeviceController() {
  DeviceController *device = &deviceController();
  connect(device, &DeviceController::statusChanged, this, &MainWindow::ApplyStatus);
  connect(device, &DeviceController::deviceAttached, this, &MainWindow::AttachDevice);
  connect(device, &DeviceController::creationFailed, this,
          [this](const QString &error) { Dialogs.error(this, QStringLiteral("Ошибка"), error); });
  connect(device, &DeviceController::progressChanged, this,
          [this](int position) { SharedProgressForm().setPosition(position); });
  connect(device, &DeviceController::overallProgress, this, [this](int program, int programs, int percent) {
    SharedProgressForm().setOverall(program, programs, percent);
  });
  connect(device, &DeviceController::chainStatusChanged, this, [this](const QString &text) {
    TProgressForm &progress = SharedProgressForm();
    progress.setStatusText(text);
    progress.setPosition(0);
    progress.showOver(this);
  });
  connect(device, &DeviceController::readErrorQuestion, this, [this](bool *goOn) {
    // Over the progress window: the main window is disabled, and so would be a box it owns.
    *goOn = Dialogs.ask(&SharedProgressForm(), QMessageBox::Warning, QStringLiteral("Чтение файла"),
                        QStringLiteral("Ошибка чтения файла! Продолжить?"),
                        QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
  });
  connect(device, &DeviceController::commandFinished, this, &MainWindow::DeviceChainFinished);
}

bool MainWindow::BeginDeviceCommand() {
  if (!deviceController().beginCommand()) return false;
  SharedProgressForm();
  setEnabled(false);
  return true;
}

TProgressForm &MainWindow::SharedProgressForm() {
  if (!ProgressForm) {
    ProgressForm = std::make_unique<TProgressForm>(this);
    connect(ProgressForm.get(), &TProgressForm::cancelRequested, this, &MainWindow::DeviceCancelActionExecute);
  }
  return *ProgressForm;
}

void MainWindow::EndDeviceCommand() {
  ProgressForm->hide();
  setEnabled(true);
  chain_finish_ = nullptr;
  deviceController().endCommand();  // its chain has returned (or never started): nothing waits
  deviceController().startPolling();
  updateCommandStates();
}

void MainWindow::CheckDeviceThen(const QString &title, std::function<void()> next) {
  deviceController().checkDeviceThen([this, title, next = std::move(next)](bool ok, const QString &message) {
    // Questions and file dialogs follow: they need the window enabled.
    setEnabled(true);
    if (ok) {
      next();
      return;
    }
    // Why the command cannot start: no module, the device not connected or busy.
    if (!message.isEmpty()) Dialogs.ask(this, QMessageBox::Warning, title, message, QMessageBox::Ok);
    EndDeviceCommand();
  });
}

void MainWindow::RunDeviceChain(const QString &caption, const QString &text,
                                std::function<TransferResult(ProjectTransfer &)> chain,
                                std::function<void(const TransferResult &)> finish, std::function<void()> onBegun) {
  setEnabled(false);
  ProgressForm->setCaption(caption);
  ProgressForm->setStatusText(text);
  ProgressForm->setPosition(0);
  ProgressForm->clearOverall();
  // With a text of its own the window shows at once; otherwise at the chain's first status text,
  // i.e. once the device is open and checked and the chain's preparation has passed.
  if (!text.isEmpty()) ProgressForm->showOver(this);
  chain_finish_ = std::move(finish);
  deviceController().runChain(std::move(chain), std::move(onBegun));
}

void MainWindow::DeviceChainFinished(const TransferResult &result) {
  ProgressForm->hide();
  setEnabled(true);
  if (result.status == TransferStatus::Cancelled)
    CancelActionComplete(fromUtf8(result.message));
  else if (const auto finish = std::exchange(chain_finish_, nullptr))
    finish(result);
  EndDeviceCommand();
}

void MainWindow::ShowTransferMessage(const TransferResult &r) {
  if (r.status == TransferStatus::OpenFailed && r.message.empty()) {
    // The device could not be opened: say why rather than end without a word.
    Dialogs.ask(this, QMessageBox::Warning, r.title.empty() ? QStringLiteral("Ошибка") : fromUtf8(r.title),
                fromUtf8(kalvort::workflow::OpenFailureText(r.error)), QMessageBox::Ok);
    return;
  }
  if (r.message.empty()) return;
  Dialogs.ask(this, r.warning ? QMessageBox::Warning : QMessageBox::NoIcon, fromUtf8(r.title), fromUtf8(r.message),
              QMessageBox::Ok);
}

bool MainWindow::ShowRefusedConversion(const TransferResult &r) {
  TDevCatalog &catalog = document_.programs();
  if (r.status != TransferStatus::Refused || r.entry_index < 0 || r.entry_index >= catalog.CatalogCount() ||
      r.conversion.conv_err_code == kalvort::kConvErrNone)
    return false;
  // As "Проверить проект": the failing program in the editor, its row selected and marked "!"
  // without showing it again.
  catalog.FileErrorSet(r.entry_index, kalvort::feProcessError);
  programEditing().showConversionFailure(r.entry_index, r.conversion);
  catalog.CalculateMPStat();
  catalog_pane_->refresh();
  programEditing().makeCurrent(r.entry_index);
  const int row = catalog_pane_->rowOf(r.entry_index);
  catalog_pane_->selectRows(row, row, false);
  updateCommandStates();
  return true;
}

void MainWindow::ShowCommandSummary(const QString &text) { Status->showSummary(text); }

void MainWindow::CancelActionComplete(const QString &text) {
  Dialogs.ask(this, QMessageBox::NoIcon, QStringLiteral("Отмена"),
              text.isEmpty() ? QStringLiteral("Текущее действие отменено") : text, QMessageBox::Ok);
  document_.programs().CalculateMPStat();
  document_.setCurrentIndex(0);
  catalog_pane_->refresh();
  programEditing().showCurrentRow();
}

void MainWindow::DeviceCancelActionExecute() { deviceController().cancel(); }

// ---- write and read the project ----

void MainWindow::DeviceBurnActionExecute() {
  if (Dialogs.ask(this, QMessageBox::NoIcon, QStringLiteral("Предупреждение"),
                  QStringLiteral("Записать проект на модуль?"),
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  if (!BeginDeviceCommand()) return;
  const std::vector<int> derived = entriesToDerive(document_.programs(), document_.options().processing.enabled);
  RunDeviceChain(
      QStringLiteral("Запись..."), QString(), [this](ProjectTransfer &t) { return t.RunWriteProject(document_.project()); },
      [this, derived](const TransferResult &r) {
        const TDevCatalog &catalog = document_.programs();
        for (int i : derived)
          if (catalog.Catalog(i).file_bin_valid) document_.setChanged(true);
        if (ShowRefusedConversion(r)) return;
        if (r.status == TransferStatus::NoModule || r.status == TransferStatus::OpenFailed) {
          ShowTransferMessage(r);
          return;
        }
        catalog_pane_->refresh();
        ShowTransferMessage(r);
        if (r.ok())
          ShowCommandSummary(QStringLiteral("Проект записан в МП: %1 программ, %2 байт").arg(r.programs).arg(r.bytes));
      });
}

void MainWindow::DeviceRereadActionExecute() {
  // The read replaces the project: unsaved changes are offered for saving first.
  if (!projectCommands().saveChangesFirst()) return;
  if (!BeginDeviceCommand()) return;
  // The project takes what was read when the read gave a project to take (complete, or with
  // control-sum errors the user accepted); otherwise it stays as it was.
  const auto taken = [](const TransferResult &r) {
    return r.ok() || r.status == TransferStatus::ChecksumErrors || r.status == TransferStatus::Stopped;
  };
  // The editor is emptied once the read has really begun (the catalog step's status).
  const auto begun = [this] {
    editorPane().clear();
    editorPane().setTextChanged(false);
  };
  RunDeviceChain(
      QStringLiteral("Чтение..."), QString(), [this](ProjectTransfer &t) { return t.RunReadProject(document_.project()); },
      [this, taken](const TransferResult &r) {
        if (!taken(r)) {
          ShowTransferMessage(r);
          document_.setCurrentIndex(0);
          catalog_pane_->refresh();
          projectCommands().showFirstRow();
          return;
        }
        // A complete read of an empty module leaves nothing to save; anything else changed the project.
        document_.setChanged(!(r.ok() && document_.programs().CatalogCount() == 0));
        // Control-sum errors were asked about as they came (the entries carry "!").
        const bool cs = r.status == TransferStatus::ChecksumErrors || r.status == TransferStatus::Stopped;
        if (!cs) ShowTransferMessage(r);
        if (r.ok())
          ShowCommandSummary(QStringLiteral("Проект прочитан из МП: %1 программ, %2 байт").arg(r.programs).arg(r.bytes));
        document_.setCurrentIndex(0);
        catalog_pane_->refresh();
        projectCommands().showFirstRow();
        catalog_pane_->setFocus();
      },
      begun);
}

// ---- erase and test ----

void MainWindow::RunEraseOrTest(bool test, bool full) {
  const QString title = test ? (full ? QStringLiteral("Полная проверка МП") : QStringLiteral("Быстрая проверка МП"))
                             : (full ? QStringLiteral("Полная очистка МП") : QStringLiteral("Быстрая очистка МП"));
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this, title, test, full] {
    // Both overwrite the module's content: the safe answer is the default.
    const QString question = test ? QStringLiteral("Тестировать МП?\nСодержимое МП будет стерто.")
                                  : QStringLiteral("Очистить МП?");
    if (Dialogs.ask(this, QMessageBox::NoIcon, title, question, QMessageBox::Ok | QMessageBox::Cancel,
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

void MainWindow::DeviceClearSMPCatActionExecute() { RunEraseOrTest(false, false); }
void MainWindow::DeviceClearSMPFullActionExecute() { RunEraseOrTest(false, true); }
void MainWindow::DeviceTestSMPQuickActionExecute() { RunEraseOrTest(true, false); }
void MainWindow::DeviceTestSMPFullActionExecute() { RunEraseOrTest(true, true); }

// ---- images ----

void MainWindow::DeviceReadImageActionExecute() {
  const QString title = QStringLiteral("Прочитать образ из МП");
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this] {
    QString file = Dialogs.saveFileName(this, QStringLiteral("Сохранение файла"),
                                        QStringLiteral("Двоичный файл (*.bin)"));
    if (file.isEmpty()) {
      EndDeviceCommand();
      return;
    }
    file = withDefaultSuffix(file, QStringLiteral("bin"));
    if (QFileInfo::exists(file) &&
        Dialogs.ask(this, QMessageBox::Warning, QStringLiteral("Чтение образа"),
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

void MainWindow::DeviceBurnImageActionExecute() {
  const QString title = QStringLiteral("Записать образ на МП");
  if (!BeginDeviceCommand()) return;
  CheckDeviceThen(title, [this, title] {
    const QString file = Dialogs.openFileName(this, title, QStringLiteral("Двоичный файл (*.bin)"));
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

void MainWindow::DeviceVerifyActionExecute() {
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
        catalog_pane_->refresh();
        if (ShowRefusedConversion(r)) return;
        if (!r.ok()) {
          ShowTransferMessage(r);
          return;
        }
        if (!VerifyForm) VerifyForm = std::make_unique<TVerifyForm>(this);
        VerifyForm->setDifferences(report->differences);
        VerifyForm->open();
      });
}
