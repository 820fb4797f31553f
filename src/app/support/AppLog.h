#pragma once
// The program's own log: the core's warnings go to standard error (through Qt's message handler)
// and to $XDG_STATE_HOME/kalvort/kalvort.log (~/.local/state/kalvort/kalvort.log), which is
// started afresh when it has grown past 1 MiB. The core's step-by-step trace is not kept here
// (KALVORT_DEBUG_LOG names a file for it).

#include <QString>

namespace kalvort::app {

void OpenAppLog();
void CloseAppLog();
// The log file in use (empty before OpenAppLog or when it could not be opened).
QString AppLogPath();

}  // namespace kalvort::app
