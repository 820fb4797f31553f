#pragma once
// ProgramEditing: the work between the catalog list and the editor pane. It shows the selected
// program in the editor, takes the editor's text back into its entry, runs the conversions between
// an entry's text and binary, and answers the editor's commands that work on the project (confirm,
// discard, check, open and save a file) and "Проверить проект".
//
// It works on the parts and the document it is given and knows nothing of the window around them:
// whenever what it did can change which commands are enabled it says so (commandStatesChanged).

#include <QObject>

#include <functional>
#include <optional>

#include "formats/Conversion.h"
#include "formats/PostProcess.h"
#include "window/CatalogModel.h"

class CatalogPane;
class EditorPane;
class FileWork;
class ProjectDocument;
class QWidget;
class ProgressWindow;
class UserDialogs;

class ProgramEditing : public QObject {
  Q_OBJECT

 public:
  // `window` is the parent of its questions and file dialogs and of the conversions' progress;
  // `work` runs "Проверить проект" off the window's thread; `progressForm` gives the progress window
  // the device commands share.
  ProgramEditing(ProjectDocument &document, CatalogPane &catalog, EditorPane &editor, UserDialogs &dialogs,
                 QWidget &window, FileWork &work, std::function<ProgressWindow &()> progressForm,
                 QObject *parent = nullptr);

  // Entry `index` becomes the one the editor's text belongs to.
  void makeCurrent(int index);
  // Selects the current entry's row, which shows it.
  void showCurrentRow();
  // A failed text-to-binary conversion of entry `index`: its message, then the program in the
  // editor with the failing line selected and marked.
  void showConversionFailure(int index, const kalvort::ConversionFailure &failure);
  // Unconfirmed editor text: asks "Текст изменен. Сохранить?" (Да stores it into the current entry,
  // Нет drops it). False when the user cancelled; true when there was nothing to settle.
  bool settleUnconfirmedText();
  // Shows the selected entry's text afresh after a change of the processing options.
  void reprocessCurrentEntry();

 public slots:
  // The list's selection changed (or the HEX switch was pressed): the editor's text settled, then
  // the selected program shown.
  void showSelectedEntry();
  // The editor's commands: "Подтвердить изменения", "Отменить изменения", "Проверить файл",
  // "Открыть файл", "Сохранить файл".
  void confirmText();
  void discardText();
  void checkProgram();
  void openTextFile();
  void saveProgramFile();
  // "Проверить проект": converts every program that needs it, in the list's order, on the file
  // worker; stops at the first that fails, which is then selected and shown with its line marked.
  void checkProject();

 signals:
  // What was done may enable or disable commands: the window applies its rules again.
  void commandStatesChanged();

 private:
  kalvort::PostProcessOptions processOptions() const;
  // The current entry in the editor: text, hex dump or raw bytes.
  void showCurrentEntry();
  // The editor's lines into entry `index` (program text only).
  void storeEditorText(int index);
  // Binary to text and text to binary of entry `index`, with the progress window shown.
  bool runReadPostprocess(int index);
  bool runWritePostprocess(int index);
  // The end of "Проверить проект" when every program converted: its message, and the list afresh
  // from `rows` when programs were converted (their rows made on the file worker).
  void reportCheckPassed(std::optional<CatalogModel::Rows> rows = std::nullopt);

  ProjectDocument &document_;
  CatalogPane &catalog_;
  EditorPane &editor_;
  UserDialogs &dialogs_;
  QWidget &window_;
  FileWork &work_;
  std::function<ProgressWindow &()> progress_form_;
};
