#pragma once
// The file properties dialog (TFilePropForm): program number, name, text or binary, and "Для
// всех" when several files are added at once. The caller sets the data fields and the caption,
// shows the dialog and reads the fields back after OK.

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TFilePropForm : public QDialog {
  Q_OBJECT

 public:
  explicit TFilePropForm(QWidget *parent = nullptr);

  // Data: set before showing, read after OK.
  int32_t des_num = 0;           // program number
  QString fname;                 // name (at most 128 bytes in Windows-1251)
  bool proc = true;              // the file is text to be processed
  bool for_all_visible = false;  // show "Для всех"
  bool for_all = false;          // "Для всех" was ticked

  QLineEdit *numberEdit = nullptr;
  QLineEdit *nameEdit = nullptr;
  QGroupBox *typeGroup = nullptr;
  QRadioButton *textRadio = nullptr;
  QRadioButton *binaryRadio = nullptr;
  QCheckBox *forAllCheck = nullptr;
  QPushButton *okButton = nullptr;
  QPushButton *cancelButton = nullptr;

  // Fills the widgets from the data fields; showing the dialog does this too.
  void load();
  // Whether the number field holds a valid number (its text is drawn red otherwise).
  bool numberValid() const { return numberValid_; }

  // Number and name fields are enabled again whenever the dialog closes.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void numberChanged(const QString &text);
  void nameChanged(const QString &text);

  bool numberValid_ = true;
};
