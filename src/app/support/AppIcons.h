#pragma once
// Tool bar images: the desktop's icon theme first, the program's own drawing otherwise.

#include <QIcon>
#include <QString>

namespace kalvort::app {

// QIcon::fromTheme(name) with the program's own drawing of that image as fall-back.
QIcon ThemeIcon(const QString &name);
// The program's own drawing of a freedesktop icon name (null for a name it does not draw), drawn
// at each size when that size is first asked for.
QIcon DrawnIcon(const QString &name);
// The program's own icon.
QIcon ProgramIcon();

}  // namespace kalvort::app
