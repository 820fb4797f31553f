// kalvort-cli edit: the editor's whole-program text edits.

#include <iostream>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliIo.h"
#include "cli/ProgramInput.h"
#include "base/CodePage.h"
#include "formats/TextEdits.h"

namespace kalvort::cli {
namespace {

const char kSynopsis[] =
    "  edit --action add-null|remove-null|remove-space|remove-num|renumber INPUT OUTPUT\n"
    "      Applies a text edit to a program; the output keeps the input's encoding, CR LF line\n"
    "      ends. renumber removes block numbers, then numbers the blocks N0, N1, ...";

void renumber(ProgramLines &lines, const ProgressSink &progress) {
  RemoveNum(lines, progress);
  SetNewNum(lines, progress);
}

int run(const std::vector<std::string> &argv) {
  const Args args(argv, {}, {"--action"});
  if (!args.ok()) return usageError(args.error());
  const auto action = args.value("--action");
  if (!action) return usageError("edit needs --action");
  void (*edit)(ProgramLines &, const ProgressSink &) = nullptr;
  if (*action == "add-null") {
    edit = AddNULL;
  } else if (*action == "remove-null") {
    edit = RemoveNULL;
  } else if (*action == "remove-space") {
    edit = RemoveSpace;
  } else if (*action == "remove-num") {
    edit = RemoveNum;
  } else if (*action == "renumber") {
    edit = renumber;
  } else {
    return usageError("unknown action '" + *action + "'");
  }
  if (args.positional().size() != 2) return usageError("edit needs INPUT and OUTPUT");

  std::string bytes, error;
  if (!readProgramInput(args.positional()[0], bytes)) return kExitFailed;
  TextEncoding encoding;
  ProgramLines lines = splitLines(decodeText(bytes, &encoding));
  edit(lines, nullptr);
  if (!writeOutput(args.positional()[1], encodeText(joinLines(lines), encoding), error)) {
    std::cerr << "kalvort-cli: " << error << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

const CliCommandRegistration registration({"edit", kSynopsis, run});

}  // namespace
}  // namespace kalvort::cli
