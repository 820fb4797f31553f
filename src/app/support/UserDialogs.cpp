#include "support/UserDialogs.h"

#include <QFileDialog>

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

QString QtDialogs::openFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) {
  return QFileDialog::getOpenFileName(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QStringList QtDialogs::openFileNames(QWidget *parent, const QString &caption, const QString &filter,
                                     const QString &dir) {
  return QFileDialog::getOpenFileNames(parent, caption, dir, filter, nullptr, QFileDialog::DontUseNativeDialog);
}

QString QtDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &filter, const QString &dir) {
  // The caller asks about overwriting in the program's own words.
  return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                      QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
}
