#pragma once
// The file properties dialog: program number, name, text or binary, and "Для всех" when several
// files are added at once. The caller sets the properties and the caption, shows the dialog and
// reads the properties back after OK.

#include <QDialog>
#include <QString>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QRadioButton;

// What the dialog edits.
struct FileProperties {
  int32_t number = 0;  // program number
  QString name;        // name (at most 128 bytes in Windows-1251)
  bool text = true;    // the file is text to be processed
};

class FilePropertiesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FilePropertiesDialog(QWidget *parent = nullptr);

  // What the dialog shows when it is shown next; properties() follows the fields as they are
  // edited (a number that does not parse keeps the last valid one).
  void setProperties(const FileProperties &properties);
  const FileProperties &properties() const { return properties_; }
  // Whether "Для всех" is offered; forAllChosen() tells whether it was ticked (cleared on showing).
  void setForAllOffered(bool offered) { for_all_offered_ = offered; }
  bool forAllChosen() const { return for_all_chosen_; }
  // The text or binary choice can be changed (a new empty program is always text).
  void setTypeEditable(bool editable);
  // Number and name can be changed (not when several programs are edited at once). Both are
  // enabled again whenever the dialog closes.
  void setNumberAndNameEditable(bool editable);
  // Whether the number field holds a valid number (its text is drawn red otherwise).
  bool numberValid() const { return number_valid_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  // Fills the widgets from the properties.
  void load();
  void numberChanged(const QString &text);
  void nameChanged(const QString &text);

  QLineEdit *number_edit_ = nullptr;
  QLineEdit *name_edit_ = nullptr;
  QGroupBox *type_group_ = nullptr;
  QRadioButton *text_radio_ = nullptr;
  QRadioButton *binary_radio_ = nullptr;
  QCheckBox *for_all_check_ = nullptr;

  FileProperties properties_;
  bool for_all_offered_ = false;
  bool for_all_chosen_ = false;
  bool number_valid_ = true;
};
