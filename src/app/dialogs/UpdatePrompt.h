#pragma once
// The programmer firmware-update prompt: says that the firmware must be updated and, on "OK",
// starts the updater program kalvort-updater (found on PATH).

class QWidget;
class UserDialogs;

namespace kalvort::app {

// The prompt's text, exactly as the user reads it.
extern const char kUpdatePromptTitle[];
extern const char kUpdatePromptText[];
// Name of the updater program looked up on PATH.
extern const char kUpdaterProgram[];

// Shows the prompt; "OK" starts the updater (a message says so when it cannot be started).
// Returns true when the updater was started.
bool RunUpdatePrompt(UserDialogs &dialogs, QWidget *parent);

}  // namespace kalvort::app
