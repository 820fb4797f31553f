#include "support/AppIcons.h"

#include <QFile>

namespace kalvort::app {

QIcon ThemeIcon(const QString &name) {
  const QString bundled = QStringLiteral(":/icons/%1.svg").arg(name);
  return QIcon::fromTheme(name, QFile::exists(bundled) ? QIcon(bundled) : QIcon());
}

QIcon ProgramIcon() { return QIcon(QStringLiteral(":/icons/kalvort.svg")); }

}  // namespace kalvort::app
