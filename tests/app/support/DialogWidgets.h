#pragma once
// Reaches a dialog's widget through its object name, as a script driving the dialog would: the
// dialogs keep their widgets private. A missing widget ends the test program with its name.

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace kalvort::apptest {

template <class T>
T *NamedChild(const QObject &parent, const char *name) {
  T *child = parent.findChild<T *>(QString::fromLatin1(name));
  if (!child) qFatal("%s has no %s named \"%s\"", qPrintable(parent.objectName()), T::staticMetaObject.className(), name);
  return child;
}

}  // namespace kalvort::apptest
