#include "workflow/CommandRules.h"

#include <initializer_list>

namespace kalvort::workflow {

namespace {

void Enable(CommandSet &set, std::initializer_list<Command> commands, bool on = true) {
  for (Command c : commands) set.set(static_cast<size_t>(c), on);
}

// The module commands follow the module; the full erase and test need the USB programmer.
void EnableModuleCommands(CommandSet &set, const CommandState &s) {
  Enable(set,
         {Command::ReadProject, Command::WriteProject, Command::EraseCatalog, Command::TestQuick, Command::ReadImage,
          Command::WriteImage, Command::Verify},
         s.connected);
  Enable(set, {Command::EraseFull, Command::TestFull}, s.connected && s.device_version > 0);
}

}  // namespace

CommandSet EnabledCommands(const CommandState &s) {
  CommandSet set;
  // Settings and the network search are always at hand.
  Enable(set, {Command::Options, Command::NetworkSearch});
  if (!s.has_device) return set;

  if (s.programs == 0) {
    // An empty project: only what adds to it, the project commands and the module.
    Enable(set, {Command::Cancel, Command::SaveList, Command::AddFiles, Command::NewFile, Command::NewProject,
                 Command::OpenProject, Command::SaveProject});
    EnableModuleCommands(set, s);
    return set;
  }

  const bool run = s.processing;
  Enable(set, {Command::RunEdit, Command::EditSelector}, run);
  Enable(set, {Command::Find, Command::Replace, Command::ZoomIn, Command::ZoomOut, Command::OpenTextFile,
               Command::SaveTextFile, Command::Cut, Command::Copy, Command::Paste, Command::SelectAll,
               Command::Undo});
  if (s.text_changed) {
    // An unconfirmed text is confirmed or discarded before anything else uses the project.
    Enable(set, {Command::CheckFile}, run);
    Enable(set, {Command::ConfirmText, Command::DiscardText});
    return set;
  }
  Enable(set, {Command::CheckFile}, run && s.entry_text_valid);
  Enable(set, {Command::Cancel, Command::SaveList, Command::NewProject, Command::OpenProject, Command::SaveProject,
               Command::CheckProject, Command::RemoveFiles, Command::AddFiles, Command::NewFile,
               Command::FileProperties});
  EnableModuleCommands(set, s);
  Enable(set, {Command::MoveUp}, s.first_selected > 0);
  Enable(set, {Command::MoveDown}, s.last_selected >= 0 && s.last_selected < s.programs - 1);
  return set;
}

}  // namespace kalvort::workflow
