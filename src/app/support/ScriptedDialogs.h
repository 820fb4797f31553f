#pragma once
// UserDialogs for tests: records every question and file dialog and answers from a script.

#include <QList>

#include "support/UserDialogs.h"

class ScriptedDialogs : public UserDialogs {
 public:
  struct Asked {
    QMessageBox::Icon icon;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
  };
  QList<Asked> asked;                          // every message box shown, in order
  QList<QMessageBox::StandardButton> answers;  // popped front per ask(); when empty: defaultButton, else the first button
  QStringList files;                           // popped front per file dialog (openFileNames splits on '\n')
  QStringList fileCaptions, fileFilters;       // recorded
  QStringList fileDirs;                        // the folder (or proposed path) each file dialog started at

  QMessageBox::StandardButton ask(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                  const QString &text, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) override;
 protected:
  QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) override;
  QStringList chooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                              const QString &dir) override;
  QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) override;

 private:
  QString nextFile(const QString &caption, const QString &filter, const QString &dir);
};
