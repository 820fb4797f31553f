// The project commands: new, open and save, and the project file read and write of the window.

#include "window/ProjectCommands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <utility>

#include "dialogs/SettingsDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/ProjectDocument.h"

using namespace kalvort;

namespace {

const QString kWarning = QStringLiteral("Предупреждение");
const QString kProjectFilter = QStringLiteral("Файл проекта (*.kvt)");

}  // namespace

ProjectCommands::ProjectCommands(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor,
                                 UserDialogs &dialogs, QWidget &window, std::function<QString()> lastFolder,
                                 QObject *parent)
    : QObject(parent),
      document_(document),
      catalog_(catalog),
      editor_(editor),
      dialogs_(dialogs),
      window_(window),
      last_folder_(std::move(lastFolder)) {}

ProjectOptions ProjectCommands::currentProjectOptions() const {
  ProjectOptions o;
  o.DeviceType = document_.deviceType();
  o.processing = document_.options().processing;
  o.hex_view = editor_.hexView();
  return o;
}

bool ProjectCommands::continueDespiteChanges() {
  if (!document_.changed() && !editor_.textChanged()) return true;
  return dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                      QStringLiteral("Текущий проект не сохранен. Продолжить?"), QMessageBox::Ok | QMessageBox::Cancel,
                      QMessageBox::Cancel) == QMessageBox::Ok;
}

void ProjectCommands::showFirstRow() {
  editor_.setTextChanged(false);
  catalog_.selectRows(0, 0, true);
  emit commandStatesChanged();
}

bool ProjectCommands::saveTo(const QString &file) {
  const bool drops_programs =
      !document_.partlyLoadedFile().isEmpty() && QFileInfo(file).canonicalFilePath() == document_.partlyLoadedFile();
  if (drops_programs) {
    if (dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                     QStringLiteral("Файл содержит программы, которые не были загружены. Перезаписать?"),
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
      return false;
  } else if (QFileInfo::exists(file) &&
             dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                          QStringLiteral("Такой файл существует. Перезаписать?"), QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Cancel) != QMessageBox::Ok) {
    return false;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const ProjectError error = SaveProjectFile(toPath(file), &document_.programs(), currentProjectOptions());
  QApplication::restoreOverrideCursor();
  if (error != ProjectError::None) {
    dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
    return false;
  }
  if (drops_programs) document_.setPartlyLoadedFile(QString());
  return true;
}

bool ProjectCommands::readProject(const QString &file) {
  ProjectOptions options = currentProjectOptions();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // All or nothing: the catalog and the options change only when the whole file was read.
  LoadedCount loaded;
  const ProjectError error = kalvort::OpenProjectFile(toPath(file), document_.programs(), options, &loaded);
  QApplication::restoreOverrideCursor();
  if (error == ProjectError::OutOfMemory) {
    dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Недостаточно памяти."));
    return false;
  }
  if (error != ProjectError::None) {
    dialogs_.ask(&window_, QMessageBox::Warning, kWarning, QStringLiteral("Ошибка открытия файла."), QMessageBox::Ok);
    return false;
  }
  document_.setPartlyLoadedFile(loaded.all() ? QString() : QFileInfo(file).canonicalFilePath());
  if (!loaded.all())
    dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                 QStringLiteral("Проект содержит %1 программ, загружено %2.").arg(loaded.in_file).arg(loaded.loaded),
                 QMessageBox::Ok);
  document_.setDeviceType(options.DeviceType);
  document_.options().processing = options.processing;
  editor_.setHexView(options.hex_view);
  return true;
}

bool ProjectCommands::saveAs() {
  QString file =
      dialogs_.saveFileName(&window_, QStringLiteral("Сохранение файла"), kProjectFilter, document_.fileName());
  if (file.isEmpty()) return false;
  file = withDefaultSuffix(file, QStringLiteral("kvt"));
  // The project counts as saved, under its new name, only once the file is written.
  if (!saveTo(file)) return false;
  document_.setFileName(file);
  document_.setChanged(false);
  return true;
}

void ProjectCommands::saveProject() {
  if (saveAs()) emit fileNameChanged();
  emit commandStatesChanged();
}

bool ProjectCommands::saveChangesFirst() {
  if (!document_.changed()) return true;
  const auto answer = dialogs_.ask(&window_, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                   QStringLiteral("Сохранить проект?"),
                                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return false;
  // A save that did not happen (its dialog cancelled, the write failed) stops the caller.
  return answer == QMessageBox::No || saveAs();
}

bool ProjectCommands::takeFile(const QString &file) {
  if (!readProject(file)) return false;
  document_.setFileName(file);
  document_.setChanged(false);
  emit fileNameChanged();
  document_.programs().CalculateMPStat();
  catalog_.refresh();
  showFirstRow();
  return true;
}

bool ProjectCommands::openFile(const QString &file) { return continueDespiteChanges() && takeFile(file); }

void ProjectCommands::openProject() {
  if (!continueDespiteChanges()) return;
  const QString file = dialogs_.openFileName(&window_, QStringLiteral("Открыть проект"), kProjectFilter);
  if (!file.isEmpty()) takeFile(file);
}

void ProjectCommands::presetSettingsForm(SettingsDialog &form) const {
  form.setProjectTypeFixed(document_.deviceType() != dtProg);
  form.setOptions(document_.options());
}

QString ProjectCommands::fileDialogFolder() const {
  // A project that was never saved has a bare name and no folder.
  if (document_.fileName().contains(QLatin1Char('/'))) {
    const QString folder = QFileInfo(document_.fileName()).absolutePath();
    if (QFileInfo(folder).isDir()) return folder;
  }
  const QString last = last_folder_ ? last_folder_() : QString();
  if (!last.isEmpty() && QDir::isAbsolutePath(last) && QFileInfo(last).isDir()) return last;
  return QDir::homePath();
}

void ProjectCommands::newProject() {
  if (!continueDespiteChanges()) return;
  SettingsDialog form(&window_);
  presetSettingsForm(form);
  if (form.exec() != QDialog::Accepted) return;
  // A new project takes the processing and the format options; the ВЗ-20х switch and the time-out
  // factor are changed through "Настройки проекта" only.
  kalvort::Options chosen = form.options();
  chosen.vz20_format = document_.options().vz20_format;
  chosen.timeout_factor = document_.options().timeout_factor;
  document_.options() = chosen;
  resetProject();
}

void ProjectCommands::resetProject() {
  document_.setFileName(ProjectDocument::DefaultFileName());
  emit fileNameChanged();
  document_.programs().CatalogClear();
  document_.programs().CalculateMPStat();
  document_.setCurrent(-1);
  catalog_.refresh();
  showFirstRow();
  document_.setChanged(false);
}
