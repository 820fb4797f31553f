// The project commands: new, open and save, and the project file read and write of the window.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include "dialogs/SettingsDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/MainWindow.h"
#include "project/ProjectFile.h"

using namespace kalvort;

namespace {

const QString kWarning = QStringLiteral("Предупреждение");
const QString kProjectFilter = QStringLiteral("Файл проекта (*.kvt)");
const QString kDefaultProjectName = QStringLiteral("Проект.kvt");

}  // namespace

ProjectOptions MainWindow::CurrentProjectOptions() const {
  ProjectOptions o;
  o.DeviceType = document_.deviceType();
  o.processing = document_.options().processing;
  o.hex_view = editorPane().hexView();
  return o;
}

bool MainWindow::ContinueDespiteChanges() {
  if (!document_.changed() && !editorPane().textChanged()) return true;
  return Dialogs.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Текущий проект не сохранен. Продолжить?"),
                     QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

void MainWindow::ShowFirstRow() {
  editorPane().setTextChanged(false);
  catalog_pane_->selectRows(0, 0, true);
  updateCommandStates();
}

bool MainWindow::SaveProject(const QString &file) {
  const bool drops_programs =
      !document_.partlyLoadedFile().isEmpty() && QFileInfo(file).canonicalFilePath() == document_.partlyLoadedFile();
  if (drops_programs) {
    if (Dialogs.ask(this, QMessageBox::Warning, kWarning,
                    QStringLiteral("Файл содержит программы, которые не были загружены. Перезаписать?"),
                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
      return false;
  } else if (QFileInfo::exists(file) &&
             Dialogs.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Такой файл существует. Перезаписать?"),
                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Ok) {
    return false;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ProjectError error = SaveProjectFile(toPath(file), Catalog(), CurrentProjectOptions());
  QApplication::restoreOverrideCursor();
  if (error != ProjectError::None) {
    Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
    return false;
  }
  if (drops_programs) document_.setPartlyLoadedFile(QString());
  return true;
}

bool MainWindow::OpenProject(const QString &file) {
  TDevCatalog *catalog = Catalog();
  ProjectOptions options = CurrentProjectOptions();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // All or nothing: the catalog and the options change only when the whole file was read.
  LoadedCount loaded;
  const ProjectError error =
      catalog ? kalvort::OpenProjectFile(toPath(file), *catalog, options, &loaded) : ProjectError::CannotOpen;
  QApplication::restoreOverrideCursor();
  if (error == ProjectError::OutOfMemory) {
    Dialogs.error(this, QStringLiteral("Ошибка"), QStringLiteral("Недостаточно памяти."));
    return false;
  }
  if (error != ProjectError::None) {
    Dialogs.ask(this, QMessageBox::Warning, kWarning, QStringLiteral("Ошибка открытия файла."), QMessageBox::Ok);
    return false;
  }
  document_.setPartlyLoadedFile(loaded.all() ? QString() : QFileInfo(file).canonicalFilePath());
  if (!loaded.all())
    Dialogs.ask(this, QMessageBox::Warning, kWarning,
                QStringLiteral("Проект содержит %1 программ, загружено %2.").arg(loaded.in_file).arg(loaded.loaded),
                QMessageBox::Ok);
  document_.setDeviceType(options.DeviceType);
  document_.options().processing = options.processing;
  editorPane().setHexView(options.hex_view);
  return true;
}

bool MainWindow::ProjectSave() {
  QString file = Dialogs.saveFileName(this, QStringLiteral("Сохранение файла"), kProjectFilter, document_.fileName());
  if (file.isEmpty()) return false;
  file = withDefaultSuffix(file, QStringLiteral("kvt"));
  // The project counts as saved, under its new name, only once the file is written.
  if (!SaveProject(file)) return false;
  document_.setFileName(file);
  document_.setChanged(false);
  return true;
}

void MainWindow::ProjectSaveActionExecute() {
  if (ProjectSave()) UpdateCaption();
  updateCommandStates();
}

bool MainWindow::SaveChangesFirst() {
  if (!document_.changed()) return true;
  const auto answer = Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                  QStringLiteral("Сохранить проект?"),
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return false;
  // A save that did not happen (its dialog cancelled, the write failed) stops the caller.
  return answer == QMessageBox::No || ProjectSave();
}

bool MainWindow::TakeProjectFile(const QString &fileName) {
  if (!OpenProject(fileName)) return false;
  document_.setFileName(fileName);
  document_.setChanged(false);
  UpdateCaption();
  Catalog()->CalculateMPStat();
  catalog_pane_->refresh();
  ShowFirstRow();
  return true;
}

bool MainWindow::OpenProjectFile(const QString &fileName) {
  return ContinueDespiteChanges() && TakeProjectFile(fileName);
}

void MainWindow::ProjectOpenActionExecute() {
  if (!ContinueDespiteChanges()) return;
  const QString file = Dialogs.openFileName(this, QStringLiteral("Открыть проект"), kProjectFilter);
  if (!file.isEmpty()) TakeProjectFile(file);
}

void MainWindow::PresetSettingsForm(TSettingsForm &form) const {
  form.setProjectTypeFixed(document_.deviceType() != dtProg);
  form.setOptions(document_.options());
}

QString MainWindow::FileDialogFolder() const {
  // A project that was never saved has a bare name and no folder.
  if (document_.fileName().contains(QLatin1Char('/'))) {
    const QString folder = QFileInfo(document_.fileName()).absolutePath();
    if (QFileInfo(folder).isDir()) return folder;
  }
  const QString last = fromU16(settings_.LastDir);
  if (!last.isEmpty() && QDir::isAbsolutePath(last) && QFileInfo(last).isDir()) return last;
  return QDir::homePath();
}

void MainWindow::ProjectNewActionExecute() {
  if (!ContinueDespiteChanges()) return;
  TSettingsForm form(this);
  PresetSettingsForm(form);
  if (form.exec() != QDialog::Accepted) return;
  // A new project takes the processing and the format options; the ВЗ-20х switch and the time-out
  // factor are changed through "Настройки проекта" only.
  kalvort::Options chosen = form.options();
  chosen.vz20_format = document_.options().vz20_format;
  chosen.timeout_factor = document_.options().timeout_factor;
  document_.options() = chosen;
  ResetProject();
}

void MainWindow::ResetProject() {
  document_.setFileName(kDefaultProjectName);
  UpdateCaption();
  if (TDevCatalog *catalog = Catalog()) {
    catalog->CatalogClear();
    catalog->CalculateMPStat();
  }
  document_.setCurrent(-1);
  catalog_pane_->refresh();
  ShowFirstRow();
  document_.setChanged(false);
}

void MainWindow::ReprocessCurrentEntry() {
  TDevCatalog *catalog = Catalog();
  const int index = catalog_pane_->selectedEntry();
  if (!catalog || index < 0 || !document_.options().processing.enabled) return;
  MakeSelectedCurrent(index);
  // Only a text that came from a valid binary is derived again: a typed or confirmed text whose
  // binary is not (yet) valid would be lost to an old image or to no image at all.
  if (!document_.currentEntry().need_p_proc || !document_.currentEntry().file_bin_valid || !document_.currentEntry().p_buffer) return;
  RunReadPostprocess(index);
  document_.refreshCurrentEntry();
  editorPane().showProgramText(*document_.currentEntry().text);
  editorPane().setTextChanged(false);
  catalog_pane_->refresh();
  updateCommandStates();
}
