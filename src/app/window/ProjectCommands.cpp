// The project commands: new, open and save, and the project file read and write of the window, which
// run on the file worker.

#include "window/ProjectCommands.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

#include "dialogs/SettingsDialog.h"
#include "support/UserDialogs.h"
#include "widgets/QtText.h"
#include "window/CatalogModel.h"
#include "window/CatalogPane.h"
#include "window/EditorPane.h"
#include "window/FileWork.h"
#include "window/ProjectDocument.h"

using namespace kalvort;

namespace {

const QString kWarning = QStringLiteral("Предупреждение");
const QString kProjectFilter = QStringLiteral("Файл проекта (*.kvt)");

}  // namespace

ProjectCommands::ProjectCommands(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor,
                                 UserDialogs &dialogs, QWidget &window, FileWork &work,
                                 std::function<QString()> lastFolder, QObject *parent)
    : QObject(parent),
      document_(document),
      catalog_(catalog),
      editor_(editor),
      dialogs_(dialogs),
      window_(window),
      work_(work),
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

void ProjectCommands::saveTo(const QString &file, Then then) {
  const auto finish = [then](bool saved) {
    if (then) then(saved);
  };
  if (work_.running()) return finish(false);  // one file job at a time
  const bool drops_programs =
      !document_.partlyLoadedFile().isEmpty() && QFileInfo(file).canonicalFilePath() == document_.partlyLoadedFile();
  if (drops_programs) {
    if (dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                     QStringLiteral("Файл содержит программы, которые не были загружены. Перезаписать?"),
                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
      return finish(false);
  } else if (QFileInfo::exists(file) &&
             dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                          QStringLiteral("Такой файл существует. Перезаписать?"), QMessageBox::Ok | QMessageBox::Cancel,
                          QMessageBox::Cancel) != QMessageBox::Ok) {
    return finish(false);
  }
  // The job writes a copy of the catalog (sharing the texts and binaries, which stay as they are
  // while the window is disabled); the copy goes with the job, whatever happens to the window.
  auto programs = std::make_shared<TDevCatalog>();
  programs->CopyCatalogFrom(document_.programs());
  work_.run<ProjectError>(
      QStringLiteral("Сохранить проект"), file,
      [programs, path = toPath(file), options = currentProjectOptions()](FileWork::Progress &) {
        return SaveProjectFile(path, programs.get(), options);
      },
      [this, drops_programs, finish](ProjectError &error) {
        if (error != ProjectError::None) {
          dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Ошибка сохранения файла!"));
          return finish(false);
        }
        if (drops_programs) document_.setPartlyLoadedFile(QString());
        finish(true);
      });
}

void ProjectCommands::saveAs(Then then) {
  const auto finish = [then](bool saved) {
    if (then) then(saved);
  };
  QString file =
      dialogs_.saveFileName(&window_, QStringLiteral("Сохранение файла"), kProjectFilter, document_.fileName());
  if (file.isEmpty()) return finish(false);
  file = withDefaultSuffix(file, QStringLiteral("kvt"));
  // The project counts as saved, under its new name, only once the file is written.
  saveTo(file, [this, file, finish](bool saved) {
    if (saved) {
      document_.setFileName(file);
      document_.setChanged(false);
    }
    finish(saved);
  });
}

void ProjectCommands::saveProject() {
  saveAs([this](bool saved) {
    if (saved) emit fileNameChanged();
    emit commandStatesChanged();
  });
}

void ProjectCommands::saveChangesFirst(Then then) {
  if (!then) then = [](bool) {};
  if (!document_.changed()) return then(true);
  const auto answer = dialogs_.ask(&window_, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                   QStringLiteral("Сохранить проект?"),
                                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
  if (answer != QMessageBox::Yes && answer != QMessageBox::No) return then(false);
  // A save that did not happen (its dialog cancelled, the write failed) stops the caller.
  if (answer == QMessageBox::No) return then(true);
  saveAs(std::move(then));
}

void ProjectCommands::takeFile(const QString &file, Then then) {
  const auto finish = [then](bool opened) {
    if (then) then(opened);
  };
  if (work_.running()) return finish(false);  // one file job at a time
  struct Opened {
    ProjectError error = ProjectError::None;
    ProjectOptions options;
    LoadedCount loaded;
    CatalogModel::Rows rows;  // the list's rows of the programs read
  };
  // Read into a catalog of the same geometry aside: all or nothing, the project shown changes only
  // when the whole file was read.
  auto programs = std::make_shared<TDevCatalog>();
  programs->CopyCatalogFrom(document_.programs());
  work_.run<Opened>(
      QStringLiteral("Открыть проект"), file,
      [programs, path = toPath(file), options = currentProjectOptions()](FileWork::Progress &) {
        Opened r;
        r.options = options;
        r.error = kalvort::OpenProjectFile(path, *programs, r.options, &r.loaded);
        if (r.error == ProjectError::None) r.rows = CatalogModel::listRows(*programs);
        return r;
      },
      [this, programs, file, finish](Opened &r) {
        if (r.error == ProjectError::OutOfMemory) {
          dialogs_.error(&window_, QStringLiteral("Ошибка"), QStringLiteral("Недостаточно памяти."));
          return finish(false);
        }
        if (r.error != ProjectError::None) {
          dialogs_.ask(&window_, QMessageBox::Warning, kWarning, QStringLiteral("Ошибка открытия файла."),
                       QMessageBox::Ok);
          return finish(false);
        }
        document_.programs().SwapCatalog(*programs);
        // The programs shown so far are freed on the worker.
        work_.dispose(programs);
        document_.setPartlyLoadedFile(r.loaded.all() ? QString() : QFileInfo(file).canonicalFilePath());
        if (!r.loaded.all())
          dialogs_.ask(&window_, QMessageBox::Warning, kWarning,
                       QStringLiteral("Проект содержит %1 программ, загружено %2.")
                           .arg(r.loaded.in_file)
                           .arg(r.loaded.loaded),
                       QMessageBox::Ok);
        document_.setDeviceType(r.options.DeviceType);
        document_.options().processing = r.options.processing;
        editor_.setHexView(r.options.hex_view);
        document_.setFileName(file);
        document_.setChanged(false);
        emit fileNameChanged();
        document_.programs().CalculateMPStat();
        catalog_.refresh(std::move(r.rows));
        showFirstRow();
        finish(true);
      });
}

void ProjectCommands::openFile(const QString &file, Then then) {
  if (continueDespiteChanges())
    takeFile(file, std::move(then));
  else if (then)
    then(false);
}

void ProjectCommands::openProject() {
  if (!continueDespiteChanges()) return;
  const QString file = dialogs_.openFileName(&window_, QStringLiteral("Открыть проект"), kProjectFilter);
  if (!file.isEmpty()) takeFile(file, {});
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
