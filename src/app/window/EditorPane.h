#pragma once
// The editor pane: the program editor with its two tool bars and the action selector. It shows what
// the window gives it (a program's text, a hex dump, raw bytes), keeps whether the text was changed
// and not yet confirmed, and runs the commands that need the editor only (find, replace, zoom, the
// clipboard, undo, "Выполнить действие"). Commands that need the project (confirm, discard, check,
// open and save a file, the HEX switch) are signals the window answers.

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "device/DeviceTypes.h"
#include "workflow/CommandRules.h"

class CodeEditor;
class ConversionProgress;
class FindReplaceDialog;
class ProgramHighlighter;
class QAction;
class QComboBox;
class QMenu;
class QToolBar;
class QToolButton;
class ProgressWindow;
class UserDialogs;

class EditorPane : public QWidget {
  Q_OBJECT

 public:
  enum class View { None, Text, Hex, Raw };  // what the editor shows; only Text is editable

  // What the pane takes from the window around it.
  struct Services {
    // The shared progress window, which "Выполнить действие" shows while it runs.
    std::function<ProgressWindow &()> progressWindow;
    // The project type the edits of "Выполнить действие" are chosen for (0, 1; others have none).
    std::function<int()> projectType;
    // Frees what the editor lets go off the window's thread (see CodeEditor::setDisposer).
    std::function<void(std::shared_ptr<QObject>)> dispose;
  };

  EditorPane(UserDialogs &dialogs, Services services, QWidget *parent = nullptr);
  ~EditorPane() override;

  // ---- What the editor shows ----
  // `text` as view `view`; read-only unless it is program text. Clears the changed flag. A long
  // text comes in from the event loop with the progress window shown, read-only until it is all in.
  void showText(const QString &text, View view);
  // A program's text, editable. Nothing (and "Недостаточно памяти.") when it would not fit in memory.
  // The lines are read as they go into the editor: they must stay as they are until loading() ends.
  void showProgramText(std::shared_ptr<const kalvort::ProgramText> lines);
  // The same for lines the caller does not keep (a copy is shown).
  void showProgramText(const kalvort::ProgramText &lines);
  // The hex dump of `length` bytes, read-only; nothing when it would not fit in memory.
  void showHex(const uint8_t *bytes, size_t length);
  // Bytes as characters with their control characters made visible, read-only; never taken back.
  void showRawBytes(const uint8_t *bytes, size_t length);
  // Empty and read-only.
  void showNothing();
  // Selects line `line` (from 0) in the middle of the view and marks it in the gutter (an empty or
  // missing line is left as it is); the editor takes the focus. Done once a text being loaded is in.
  void showFailingLine(int line);
  void setReadOnly(bool readOnly);

  View view() const { return view_; }
  QStringList lines() const;
  // The text shown as a program's lines (also while it is being loaded), written over `lines`.
  void copyProgramText(kalvort::ProgramText &lines) const;
  // A text is still coming into the editor.
  bool loading() const;

  // Whether the text was changed since it was shown and not confirmed or discarded.
  bool textChanged() const { return text_changed_; }
  void setTextChanged(bool changed) { text_changed_ = changed; }

  // The HEX switch: whether a binary is shown as a hex dump.
  bool hexView() const;
  void setHexView(bool on);

  // ---- The action selector ----
  // Fills it with the edits of the project type (0 or 1); any other type disables it and "Выполнить
  // действие".
  void fillActionSelector(int projectType);
  // The index kept in the settings file: the selector's choice, else the index read at start.
  int savedAction() const;
  void setSavedAction(int index) { saved_action_ = index; }

  // ---- Commands ----
  // Enables the pane's actions and the action selector from the window's command rule.
  void applyCommands(const kalvort::workflow::CommandSet &enabled);
  // The "Редактор" menu's items, in order.
  void fillMenu(QMenu &menu) const;
  // The actions the command rule enables, in the order of the command list.
  QList<QAction *> commandActions() const;

 public slots:
  // Says "Недостаточно памяти." from a queued call; one message for failures that come together.
  void reportOutOfMemory();

 signals:
  // The text became changed (typed into, or edited by "Выполнить действие"): the commands change.
  void textEdited();
  // "Подтвердить изменения", "Отменить изменения", "Проверить файл", "Открыть файл",
  // "Сохранить файл": the window runs them on the project.
  void confirmRequested();
  void discardRequested();
  void checkRequested();
  void openFileRequested();
  void saveFileRequested();
  // The HEX switch was pressed: the entry is to be shown again.
  void hexViewToggled(bool on);

 private:
  void createActions();
  void createToolBars();
  void connectActions();
  void runEdit();  // "Выполнить действие"
  // The find or replace dialog, created on first use and kept.
  void showFindDialog(FindReplaceDialog *&dialog, bool replace);
  // False (and "Недостаточно памяти." said) when showing a text of that size would not fit in memory.
  bool roomToShow(uint64_t chars, uint64_t lines);
  // Before a text goes into the editor: read-only, not changed, coloured if program text.
  void startShowing(View view);
  // The text shown is all in: editable if it is program text, the progress window gone.
  void finishShowing();
  void finishShowingUnlessLoading();

  UserDialogs &dialogs_;
  Services services_;

  CodeEditor *editor_ = nullptr;
  ProgramHighlighter *highlighter_ = nullptr;
  FindReplaceDialog *find_dialog_ = nullptr;
  FindReplaceDialog *replace_dialog_ = nullptr;
  QToolBar *file_tool_bar_ = nullptr;  // open, save, HEX, check, OK, cancel, zoom
  QToolBar *edit_tool_bar_ = nullptr;  // copy, cut, paste, search, replace, action selector, run
  QComboBox *action_selector_ = nullptr;
  QToolButton *hex_switch_button_ = nullptr;

  QAction *run_action_ = nullptr;
  QAction *check_action_ = nullptr;
  QAction *ok_action_ = nullptr;
  QAction *cancel_action_ = nullptr;
  QAction *search_action_ = nullptr;
  QAction *replace_action_ = nullptr;
  QAction *zoom_in_action_ = nullptr;
  QAction *zoom_out_action_ = nullptr;
  QAction *open_file_action_ = nullptr;
  QAction *save_file_action_ = nullptr;
  QAction *cut_action_ = nullptr;
  QAction *copy_action_ = nullptr;
  QAction *paste_action_ = nullptr;
  QAction *select_all_action_ = nullptr;
  QAction *undo_action_ = nullptr;
  QAction *hex_view_action_ = nullptr;  // checkable

  View view_ = View::None;
  bool text_changed_ = false;
  bool loading_ = false;  // the editor is being filled: not an edit
  bool read_only_after_load_ = false;  // asked for while a text was being loaded
  int failing_line_after_load_ = -1;
  std::unique_ptr<ConversionProgress> work_progress_;  // while the editor works in slices
  bool out_of_memory_pending_ = false;
  int saved_action_ = 0;  // the action selector's index as read from the settings file
};
