#pragma once
// The main window a catalog or editor test works on: made afresh for each test function on its own
// scripted dialogs, with its device status applied and an empty project, and closed afterwards
// without questions about unsaved changes.

#include <memory>

#include "device/DevCatalog.h"
#include "support/ScriptedDialogs.h"
#include "window/MainWindow.h"
#include "workflow/DeviceSession.h"

namespace kalvort::apptest {

class WindowFixture {
 protected:
  ScriptedDialogs dialogs;
  std::unique_ptr<MainWindow> window;

  // For init(): false when the window got no device status in time.
  bool openWindow();
  // The same, on the programmer with conversion on for 2С42 programs.
  bool openWindowConverting2C42();
  // For cleanup(); nothing when the test let the window go already.
  void closeWindow();
  // The device object's catalog (the window has one once openWindow() succeeded).
  TDevCatalog &catalog() { return window->projectDocument().programs(); }
};

}  // namespace kalvort::apptest
