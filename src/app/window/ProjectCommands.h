#pragma once
// ProjectCommands: "Новый проект", "Открыть проект" and "Сохранить проект", the project file's read and
// write, and the questions about unsaved changes that come before a project is replaced. It works on
// the window's document, catalog pane and editor pane; it tells the window through signals when the
// caption or the command enabling has to follow.

#include <QObject>
#include <QString>

#include <functional>

#include "project/ProjectFile.h"

class CatalogPane;
class EditorPane;
class ProjectDocument;
class QWidget;
class SettingsDialog;
class UserDialogs;

class ProjectCommands : public QObject {
  Q_OBJECT

 public:
  // `window` is the parent of the dialogs; `lastFolder` gives the last folder a file was chosen in.
  ProjectCommands(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor, UserDialogs &dialogs,
                  QWidget &window, std::function<QString()> lastFolder, QObject *parent = nullptr);

  // Opens a project file (asks about unsaved changes first); used for a file named on the command
  // line or handed over by a second start of the program.
  bool openFile(const QString &file);
  // Saves the project to a file chosen in the save dialog; true when saved.
  bool saveAs();
  // Writes the project to `file` after the overwrite question; true when written.
  bool saveTo(const QString &file);
  // Unsaved changes: asks "Сохранить проект?" (Да saves through the save dialog). False when the
  // user cancelled or the save did not happen; true when there was nothing to save.
  bool saveChangesFirst();
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
  bool readProject(const QString &file);  // all or nothing; false after its message
  bool takeFile(const QString &file);     // opens it and makes it the project shown

  ProjectDocument &document_;
  CatalogPane &catalog_;
  EditorPane &editor_;
  UserDialogs &dialogs_;
  QWidget &window_;
  std::function<QString()> last_folder_;
};
