#pragma once
// The actions of the window and its panes are made from tables of what each shows.

#include <QKeySequence>

class QAction;
class QObject;

namespace kalvort::app {

struct ActionText {
  const char *name;       // object name: the action's name
  const char *caption;
  const char *hint;       // tool tip and "What's this"; nullptr: the caption
  QKeySequence shortcut;  // empty: none
  const char *icon;       // freedesktop theme name (the bundled fall-back has the same name); nullptr: none
};

// An action owned by `parent`. It has no status tip: that would replace the status line's panels
// while the pointer rests on a tool button or menu item; the hint shows as the tool tip instead.
QAction *MakeAction(const ActionText &text, QObject *parent);

}  // namespace kalvort::app
