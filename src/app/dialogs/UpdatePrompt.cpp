#include "dialogs/UpdatePrompt.h"

#include <QProcess>
#include <QStandardPaths>

#include "support/UserDialogs.h"

namespace kalvort::app {

const char kUpdatePromptTitle[] = "Обновление ПО программатора";
const char kUpdatePromptText[] =
    "Необходимо обновление ПО программатора. Для продолжения нажмите \"ОК\". Запустится программа "
    "обновления. После обновления запустите программу \"Калворт\" заново. Не отключайте программатор "
    "от USB во время обновления!";
const char kUpdaterProgram[] = "kalvort-updater";

bool RunUpdatePrompt(UserDialogs &dialogs, QWidget *parent) {
  const auto answer = dialogs.ask(parent, QMessageBox::Information, QString::fromUtf8(kUpdatePromptTitle),
                                  QString::fromUtf8(kUpdatePromptText), QMessageBox::Ok);
  if (answer != QMessageBox::Ok) return false;
  // Only absolute PATH entries: a relative one (or an empty one, the current folder) would run
  // whatever program of that name lies in the folder the window was started from.
  QStringList folders;
  for (const QString &folder : QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':')))
    if (folder.startsWith(QLatin1Char('/'))) folders << folder;
  const QString program = folders.isEmpty()
                              ? QString()
                              : QStandardPaths::findExecutable(QString::fromLatin1(kUpdaterProgram), folders);
  if (!program.isEmpty() && QProcess::startDetached(program, {})) return true;
  dialogs.error(parent, QStringLiteral("Ошибка"),
                QStringLiteral("Не удалось запустить программу обновления %1.").arg(QLatin1String(kUpdaterProgram)));
  return false;
}

}  // namespace kalvort::app
