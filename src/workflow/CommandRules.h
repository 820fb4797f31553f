#pragma once
// Which of the desktop program's commands are enabled, from the state that decides it: whether a
// device object exists and is connected, the catalog's size, the editor's unconfirmed text and the
// selected rows. Kept apart from the window so the rules are tested as a table.

#include <bitset>
#include <cstddef>

namespace kalvort::workflow {

enum class Command : size_t {
  // The module.
  ReadProject, WriteProject, EraseCatalog, EraseFull, TestQuick, TestFull, ReadImage, WriteImage, Verify,
  Cancel, NetworkSearch,
  // The project and its catalog list.
  NewProject, OpenProject, SaveProject, Options, CheckProject, AddFiles, NewFile, RemoveFiles, FileProperties,
  MoveUp, MoveDown, SaveList,
  // The editor.
  RunEdit, EditSelector, CheckFile, ConfirmText, DiscardText, Find, Replace, ZoomIn, ZoomOut, OpenTextFile,
  SaveTextFile, Cut, Copy, Paste, SelectAll, Undo,
  Count
};

using CommandSet = std::bitset<static_cast<size_t>(Command::Count)>;

inline bool Has(const CommandSet &set, Command c) { return set.test(static_cast<size_t>(c)); }

struct CommandState {
  bool has_device = false;     // a device object exists (a device is chosen)
  bool connected = false;      // its module answers
  int device_version = 0;      // programmer firmware version; 0 for a networked controller
  int programs = 0;            // entries in the catalog
  bool text_changed = false;   // the editor holds an unconfirmed text
  bool processing = false;     // the project converts and the current entry is converted
  bool entry_text_valid = false;  // the current entry has a text
  int first_selected = -1;     // first and last selected rows, -1 for none
  int last_selected = -1;
};

CommandSet EnabledCommands(const CommandState &state);

}  // namespace kalvort::workflow
