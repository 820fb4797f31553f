#include "support/Actions.h"

#include <QAction>
#include <QString>

#include "support/AppIcons.h"

namespace kalvort::app {

QAction *MakeAction(const ActionText &text, QObject *parent) {
  auto *action = new QAction(QString::fromUtf8(text.caption), parent);
  const QString hint = QString::fromUtf8(text.hint ? text.hint : text.caption);
  action->setToolTip(hint);
  action->setWhatsThis(hint);
  if (!text.shortcut.isEmpty()) action->setShortcut(text.shortcut);
  if (text.icon) action->setIcon(ThemeIcon(QString::fromLatin1(text.icon)));
  action->setObjectName(QString::fromLatin1(text.name));
  return action;
}

}  // namespace kalvort::app
