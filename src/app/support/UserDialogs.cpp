#include "support/UserDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString UserDialogs::startPath(const QString &name) const {
  if (QDir::isAbsolutePath(name)) return name;
  QString folder = startFolder ? startFolder() : QString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = QDir::homePath();
  return name.isEmpty() ? folder : QDir(folder).filePath(name);
}

void UserDialogs::chosen(const QString &file) {
  if (!file.isEmpty() && folderChosen) folderChosen(QFileInfo(file).absolutePath());
}

QString UserDialogs::openFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &name) {
  const QString file = chooseOpenFile(parent, caption, filter, startPath(name));
  chosen(file);
  return file;
}

QStringList UserDialogs::openFileNames(QWidget *parent, const QString &caption, const QString &filter,
                                       const QString &name) {
  const QStringList files = chooseOpenFiles(parent, caption, filter, startPath(name));
  if (!files.isEmpty()) chosen(files.front());
  return files;
}

QString UserDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &name) {
  const QString file = chooseSaveFile(parent, caption, filter, startPath(name));
  chosen(file);
  return file;
}

QMessageBox::StandardButton QtDialogs::ask(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                           const QString &text, QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, title, text, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  box.setAccessibleName(title);
  box.setAccessibleDescription(text);
  const int result = box.exec();
  // Closing the box by its window button gives the escape button's code, or nothing.
  return static_cast<QMessageBox::StandardButton>(result == -1 ? QMessageBox::NoButton : result);
}

QString QtDialogs::chooseOpenFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) {
  return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QStringList QtDialogs::chooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                                       const QString &dir) {
  return QFileDialog::getOpenFileNames(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString QtDialogs::chooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) {
  // The caller asks about overwriting in the program's own words.
  return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                      QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
}
