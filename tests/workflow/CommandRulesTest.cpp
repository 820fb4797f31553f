#include "workflow/CommandRules.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace kalvort::workflow {
namespace {

using C = Command;

std::string Names(const CommandSet &set) {
  std::string out;
  for (size_t i = 0; i < set.size(); ++i)
    if (set.test(i)) out += std::to_string(i) + " ";
  return out;
}

CommandSet Set(std::initializer_list<Command> commands) {
  CommandSet set;
  for (Command c : commands) set.set(static_cast<size_t>(c));
  return set;
}

const std::initializer_list<Command> kEditing = {C::Find,         C::Replace,      C::ZoomIn, C::ZoomOut,
                                                 C::OpenTextFile, C::SaveTextFile, C::Cut,    C::Copy,
                                                 C::Paste,        C::SelectAll,    C::Undo};

TEST(CommandRules, Table) {
  struct Case {
    const char *name;
    CommandState state;
    CommandSet expected;
  };
  CommandState empty{.has_device = true, .connected = true, .device_version = 209};
  CommandState project = empty;
  project.programs = 3;
  project.processing = true;
  project.entry_text_valid = true;
  project.first_selected = 1;
  project.last_selected = 1;
  CommandState edited = project;
  edited.text_changed = true;
  CommandState controller = project;  // a networked controller: no version, no full erase or test
  controller.device_version = 0;
  CommandState unplugged = project;
  unplugged.connected = false;
  unplugged.processing = false;
  unplugged.first_selected = 0;
  unplugged.last_selected = 2;

  const CommandSet module = Set({C::ReadProject, C::WriteProject, C::EraseCatalog, C::TestQuick, C::ReadImage,
                                 C::WriteImage, C::Verify, C::EraseFull, C::TestFull});
  const CommandSet always = Set({C::Options, C::NetworkSearch});
  const CommandSet projectCommands = Set({C::Cancel, C::SaveList, C::NewProject, C::OpenProject, C::SaveProject,
                                          C::AddFiles, C::NewFile});
  const CommandSet catalogCommands = Set({C::CheckProject, C::RemoveFiles, C::FileProperties});
  const CommandSet editing = Set(kEditing);

  const std::vector<Case> cases = {
      {"no device", {}, always},
      {"empty project", empty, always | projectCommands | module},
      {"program selected", project,
       always | projectCommands | catalogCommands | module | editing |
           Set({C::RunEdit, C::EditSelector, C::CheckFile, C::MoveUp, C::MoveDown})},
      {"unconfirmed text", edited,
       always | editing | Set({C::RunEdit, C::EditSelector, C::CheckFile, C::ConfirmText, C::DiscardText})},
      {"controller", controller,
       (always | projectCommands | catalogCommands | module | editing |
        Set({C::RunEdit, C::EditSelector, C::CheckFile, C::MoveUp, C::MoveDown})) &
           ~Set({C::EraseFull, C::TestFull})},
      {"no module, all rows selected, no processing", unplugged,
       always | projectCommands | catalogCommands | editing},
  };
  for (const Case &c : cases) {
    const CommandSet got = EnabledCommands(c.state);
    EXPECT_EQ(got, c.expected) << c.name << "\n got: " << Names(got) << "\nwant: " << Names(c.expected);
  }
}

}  // namespace
}  // namespace kalvort::workflow
