#pragma once
// The one interface through which the main window and its dialogs ask questions, show messages and
// open file dialogs. Production: QtDialogs (message boxes and Qt's own file dialogs); tests:
// ScriptedDialogs (recorded questions, scripted answers).

#include <QMessageBox>
#include <QString>
#include <QStringList>

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // A message box: returns the button pressed. title/text exactly as the program's texts.
  virtual QMessageBox::StandardButton ask(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                          const QString &text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) = 0;
  // Plain information / error (one OK button).
  void inform(QWidget *p, const QString &title, const QString &text) {
    ask(p, QMessageBox::Information, title, text, QMessageBox::Ok);
  }
  void error(QWidget *p, const QString &title, const QString &text) {
    ask(p, QMessageBox::Critical, title, text, QMessageBox::Ok);
  }
  // File dialogs (Qt's own non-native QFileDialog in production). Empty string / list = cancelled.
  virtual QString openFileName(QWidget *parent, const QString &caption, const QString &filter,
                               const QString &dir = {}) = 0;
  virtual QStringList openFileNames(QWidget *parent, const QString &caption, const QString &filter,
                                    const QString &dir = {}) = 0;
  virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &filter,
                               const QString &dir = {}) = 0;
};

// Message boxes and Qt's own (non-native) file dialogs.
class QtDialogs : public UserDialogs {
 public:
  QMessageBox::StandardButton ask(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                  const QString &text, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;
  QString openFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &dir = {}) override;
  QStringList openFileNames(QWidget *parent, const QString &caption, const QString &filter,
                            const QString &dir = {}) override;
  QString saveFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &dir = {}) override;
};
