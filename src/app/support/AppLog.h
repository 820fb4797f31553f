#pragma once
// The program's own log: where the core's trace lines go while the window runs.

namespace kalvort::app {

void OpenAppLog();
void CloseAppLog();

}  // namespace kalvort::app
