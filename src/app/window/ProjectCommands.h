#pragma once
// ProjectCommands: "Новый проект", "Открыть проект" and "Сохранить проект", the project file's read and
// write (on the file worker, FileWork), and the questions about unsaved changes that come before a
// project is replaced. It works on the window's document, catalog pane and editor pane; it tells the
// window through signals when the caption or the command enabling has to follow.

#include <QObject>
#include <QString>

#include <functional>

#include "project/ProjectFile.h"

class CatalogPane;
class EditorPane;
class FileWork;
class ProjectDocument;
class QWidget;
class SettingsDialog;
class UserDialogs;

class ProjectCommands : public QObject {
  Q_OBJECT

 public:
  // The end of a command that may run on the file worker: true when it did what it was asked (the
  // file opened, the project saved, nothing left to save). Runs once on every path, on the
  // window's thread: at once when the command ended before any file work, else when that has ended.
  using Then = std::function<void(bool)>;

  // `window` is the parent of the dialogs; `lastFolder` gives the last folder a file was chosen in;
  // `work` runs the reads and writes of project files off the window's thread.
  ProjectCommands(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor, UserDialogs &dialogs,
                  QWidget &window, FileWork &work, std::function<QString()> lastFolder, QObject *parent = nullptr);

  // Opens a project file (asks about unsaved changes first); used for a file named on the command
  // line or handed over by a second start of the program.
  void openFile(const QString &file, Then then = {});
  // Saves the project to a file chosen in the save dialog.
  void saveAs(Then then = {});
  // Writes the project to `file` after the overwrite question.
  void saveTo(const QString &file, Then then);
  // Unsaved changes: asks "Сохранить проект?" (Да saves through the save dialog). False when the
  // user cancelled or the save did not happen; true when there was nothing to save or after "Нет".
  void saveChangesFirst(Then then);
  // Empties the project: catalog, list (one blank row), editor, name "Проект.kvt", caption.
  void resetProject();
  // Selects the list's first row, the editor's text counting as unchanged.
  void showFirstRow();
  // The project settings dialog filled from the project's options (settings and new project).
  void presetSettingsForm(SettingsDialog &form) const;
  // Where file dialogs start: the current project's folder, else the last folder a file was chosen
  // in, else the home folder.
  QString fileDialogFolder() const;

 public slots:
  void newProject();   // "Новый проект"
  void openProject();  // "Открыть проект"
  void saveProject();  // "Сохранить проект"

 signals:
  // The project's file name changed: the window's caption follows.
  void fileNameChanged();
  // The project or the editor changed so that the commands' enabling is computed afresh.
  void commandStatesChanged();

 private:
  kalvort::ProjectOptions currentProjectOptions() const;
  // Unsaved project or editor changes: asks whether to go on; true when there are none.
  bool continueDespiteChanges();
  // Reads `file` on the file worker and, when the whole file was read, makes it the project shown;
  // otherwise its message, the project left as it was.
  void takeFile(const QString &file, Then then);

  ProjectDocument &document_;
  CatalogPane &catalog_;
  EditorPane &editor_;
  UserDialogs &dialogs_;
  QWidget &window_;
  FileWork &work_;
  std::function<QString()> last_folder_;
};
