#include "support/WindowFixture.h"

#include "support/AppTest.h"
#include "window/EditorPane.h"
#include "window/ProjectCommands.h"

namespace kalvort::apptest {

bool WindowFixture::openWindow() {
  dialogs = ScriptedDialogs();
  window = std::make_unique<MainWindow>(dialogs);
  if (!WaitForDeviceStatus(*window)) return false;
  window->projectCommands().resetProject();
  return true;
}

bool WindowFixture::openWindowConverting2C42() {
  if (!openWindow()) return false;
  window->projectDocument().setDeviceType(dtProg);
  window->projectDocument().options().processing.enabled = true;
  window->projectDocument().options().processing.project_type = 0;
  return true;
}

void WindowFixture::closeWindow() {
  if (!window) return;
  window->projectDocument().setChanged(false);
  window->editorPane().setTextChanged(false);
  window.reset();
}

}  // namespace kalvort::apptest
