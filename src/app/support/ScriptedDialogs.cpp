#include "support/ScriptedDialogs.h"

QMessageBox::StandardButton ScriptedDialogs::ask(QWidget *, QMessageBox::Icon icon, const QString &title,
                                                 const QString &text, QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton) {
  asked.append({icon, title, text, buttons, defaultButton});
  if (!answers.isEmpty()) return answers.takeFirst();
  if (defaultButton != QMessageBox::NoButton) return defaultButton;
  // The first button in the order of the enum's values (Ok before Cancel, Yes before No).
  for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
    if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit))) {
      return static_cast<QMessageBox::StandardButton>(bit);
    }
  }
  return QMessageBox::NoButton;
}

QString ScriptedDialogs::nextFile(const QString &caption, const QString &filter, const QString &dir) {
  fileCaptions.append(caption);
  fileDirs.append(dir);
  fileFilters.append(filter);
  return files.isEmpty() ? QString() : files.takeFirst();
}

QString ScriptedDialogs::chooseOpenFile(QWidget *, const QString &caption, const QString &filter, const QString &dir) {
  return nextFile(caption, filter, dir);
}

QStringList ScriptedDialogs::chooseOpenFiles(QWidget *, const QString &caption, const QString &filter,
                                           const QString &dir) {
  const QString next = nextFile(caption, filter, dir);
  return next.isEmpty() ? QStringList() : next.split(QLatin1Char('\n'));
}

QString ScriptedDialogs::chooseSaveFile(QWidget *, const QString &caption, const QString &filter, const QString &dir) {
  return nextFile(caption, filter, dir);
}
