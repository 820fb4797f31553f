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
  const QString program = QStandardPaths::findExecutable(QString::fromLatin1(kUpdaterProgram));
  if (!program.isEmpty() && QProcess::startDetached(program, {})) return true;
  dialogs.error(parent, QStringLiteral("Ошибка"),
                QStringLiteral("Не удалось запустить программу обновления %1.").arg(QLatin1String(kUpdaterProgram)));
  return false;
}

}  // namespace kalvort::app
