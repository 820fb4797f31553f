#pragma once
// The editor pane's own widgets, found by their object names (as the accessibility tools and the
// screenshot script find them): the tests look into the editor itself, the pane's interface does not
// hand it out.

#include <QComboBox>
#include <QTest>
#include <QToolBar>
#include <QWidget>

#include "widgets/CodeEditor.h"

namespace kalvort::apptest {

// The program editor of `window` (a main window or an editor pane); fails the test when there is none.
inline CodeEditor *EditorOf(QWidget &window) {
  auto *editor = window.findChild<CodeEditor *>(QStringLiteral("EditorWidget"));
  if (!editor) qFatal("no program editor");
  return editor;
}

// The action selector of "Выполнить действие".
inline QComboBox *ActionSelectorOf(QWidget &window) {
  auto *selector = window.findChild<QComboBox *>(QStringLiteral("ActionSelector"));
  if (!selector) qFatal("no action selector");
  return selector;
}

// The editor pane's tool bars: "Файл программы" (open, save, HEX, check, OK, cancel, zoom) and
// "Правка" (clipboard, search, replace, action selector, run).
inline QToolBar *ToolBarNamed(QWidget &window, const QString &name) {
  auto *bar = window.findChild<QToolBar *>(name);
  if (!bar) qFatal("no tool bar %s", qPrintable(name));
  return bar;
}

}  // namespace kalvort::apptest
