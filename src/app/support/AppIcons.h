#pragma once
// Tool bar images: the desktop's icon theme first, the program's own bundled image otherwise.

#include <QIcon>
#include <QString>

namespace kalvort::app {

// QIcon::fromTheme(name) with the bundled ":/icons/<name>.svg" as fall-back.
QIcon ThemeIcon(const QString &name);
// The program's own icon.
QIcon ProgramIcon();

}  // namespace kalvort::app
