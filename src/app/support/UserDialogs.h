#pragma once
// The one interface through which the main window and its dialogs ask questions, show messages and
// open file dialogs. Production: QtDialogs (message boxes and Qt's own file dialogs); tests:
// ScriptedDialogs (recorded questions, scripted answers).

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

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

  // File dialogs. Empty string / list = cancelled. `name` is a proposed file name: a relative one
  // is put in the start folder; an empty one starts in that folder.
  QString openFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &name = {});
  QStringList openFileNames(QWidget *parent, const QString &caption, const QString &filter,
                            const QString &name = {});
  QString saveFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &name = {});

  // Where every file dialog starts (the main window: its project's folder, else the last folder
  // used, else the home folder) and who hears of the folder of each file chosen. Unset: the home
  // folder, never the program's working directory.
  std::function<QString()> startFolder;
  std::function<void(const QString &folder)> folderChosen;

  // The path a file dialog starts at for the proposed `name`.
  QString startPath(const QString &name) const;

 protected:
  // The dialogs themselves, given the folder or the path to start at.
  virtual QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &filter,
                                 const QString &dir) = 0;
  virtual QStringList chooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                                      const QString &dir) = 0;
  virtual QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter,
                                 const QString &dir) = 0;

 private:
  void chosen(const QString &file);
};

// Message boxes and Qt's own (non-native) file dialogs.
class QtDialogs : public UserDialogs {
 public:
  QMessageBox::StandardButton ask(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                  const QString &text, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;

 protected:
  QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) override;
  QStringList chooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                              const QString &dir) override;
  QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) override;
};
