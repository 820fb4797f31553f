#include "support/AppLog.h"

namespace kalvort::app {

// The core's log sink is connected here once the core offers one.
void OpenAppLog() {}
void CloseAppLog() {}

}  // namespace kalvort::app
