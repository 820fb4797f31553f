#pragma once
// The editor's find dialog ("Поиск") and replace dialog ("Замена"). Both are modeless, start with
// the downward direction and close when the editor loses the focus to another widget of its window.
// Only the find dialog offers a direction; the replace dialog always searches downward.

#include <QDialog>

class CodeEditor;
class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class UserDialogs;

class FindReplaceDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { Find, Replace };

  FindReplaceDialog(Mode mode, CodeEditor &editor, UserDialogs &dialogs, QWidget *parent = nullptr);

  Mode mode() const { return mode_; }

 public slots:
  // Find dialog: in the chosen direction; replace dialog: downward. "Строка не найдена" on no hit.
  void findNext();
  // Shrinks the selection to its start and replaces the next hit; "Строка не найдена" on no hit.
  void replaceOne();
  // Replaces every hit from the start of the text in one pass, without a message.
  void replaceAll();

 private:
  QGridLayout *buildFields(bool replace);
  QHBoxLayout *buildOptions(bool replace);
  QVBoxLayout *buildButtons(bool replace);
  void enableButtonsWhileTextGiven();
  void notFound();

  QLineEdit *find_edit_ = nullptr;
  QLineEdit *replace_edit_ = nullptr;  // replace dialog only
  QCheckBox *match_case_check_ = nullptr;
  QRadioButton *up_radio_ = nullptr;    // find dialog only
  QRadioButton *down_radio_ = nullptr;  // find dialog only
  QPushButton *find_next_button_ = nullptr;
  QPushButton *replace_button_ = nullptr;      // replace dialog only
  QPushButton *replace_all_button_ = nullptr;  // replace dialog only
  QPushButton *cancel_button_ = nullptr;

  Mode mode_;
  CodeEditor &editor_;
  UserDialogs &dialogs_;
};
