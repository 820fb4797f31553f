#include "support/WindowFixture.h"

#include "support/AppTest.h"

namespace kalvort::apptest {

bool WindowFixture::openWindow() {
  dialogs = ScriptedDialogs();
  window = std::make_unique<MainWindow>(dialogs);
  if (!WaitForDeviceStatus(*window)) return false;
  window->ResetProject();
  return true;
}

void WindowFixture::closeWindow() {
  window->project_changed = false;
  window->text_changed = false;
  window.reset();
}

}  // namespace kalvort::apptest
