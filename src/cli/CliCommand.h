#pragma once
// kalvort-cli's commands register themselves here: one file per command group, each with a
// static CliCommandRegistration, so adding a command never touches main.cpp.

#include <functional>
#include <string>
#include <vector>

namespace kalvort::cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliCommand {
  std::string name;      // first word on the command line, e.g. "convert"
  std::string synopsis;  // usage lines shown by --help
  std::function<int(const std::vector<std::string> &args)> run;  // args after the name
};

const std::vector<CliCommand> &commands();

struct CliCommandRegistration {
  explicit CliCommandRegistration(CliCommand command);
};

// Prints "kalvort-cli: MESSAGE" and the hint to use --help; returns kExitUsage.
int usageError(const std::string &message);
// Prints "kalvort-cli: Недостаточно памяти." (every command's words when memory runs out);
// returns kExitFailed.
int outOfMemory();

}  // namespace kalvort::cli
