// kalvort-cli: Kalvort's core from the command line.

#include <csignal>
#include <iostream>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Log.h"
#include "cli/CliCommand.h"

namespace kalvort::cli {
namespace {

std::vector<CliCommand> &registry() {
  static std::vector<CliCommand> all;
  return all;
}

void printHelp(std::ostream &out) {
  out << "Usage: kalvort-cli COMMAND [OPTIONS] ARGS...\n"
         "       kalvort-cli --help | --version\n"
         "       kalvort-cli COMMAND --help | help COMMAND   (that command's usage)\n\n"
         "Commands:\n";
  for (const auto &c : commands()) out << c.synopsis << "\n";
  out << "\nExit status: 0 on success, 1 when the operation failed, 2 on a usage error.\n";
}

void printUsage(const CliCommand &c) { std::cout << "Usage:\n" << c.synopsis << "\n"; }

// "--help" or "-h" among a command's arguments (before a "--" that ends the options) asks for its
// usage, whichever subcommand and options come with it; the command itself does not run.
bool asksForHelp(const std::vector<std::string> &args) {
  for (const auto &a : args) {
    if (a == "--") return false;
    if (a == "--help" || a == "-h") return true;
  }
  return false;
}

// Runs one command. Running out of memory anywhere in it ends the command as a failure with a
// message instead of an abort; every output is written whole at the end, so none is touched.
int runCommand(const CliCommand &c, const std::vector<std::string> &args) {
  if (asksForHelp(args)) {
    printUsage(c);
    return kExitOk;
  }
  try {
    return c.run(args);
  } catch (const std::bad_alloc &) {
  } catch (const std::length_error &) {
  }
  return outOfMemory();
}

const CliCommand *findCommand(const std::string &name) {
  for (const auto &c : commands())
    if (c.name == name) return &c;
  return nullptr;
}

}  // namespace

const std::vector<CliCommand> &commands() { return registry(); }

CliCommandRegistration::CliCommandRegistration(CliCommand command) {
  auto &all = registry();
  auto pos = all.begin();
  while (pos != all.end() && pos->name < command.name) ++pos;
  all.insert(pos, std::move(command));
}

int outOfMemory() {
  std::cerr << "kalvort-cli: Недостаточно памяти.\n";
  return kExitFailed;
}

int usageError(const std::string &message) {
  std::cerr << "kalvort-cli: " << message << "\nTry 'kalvort-cli --help'.\n";
  return kExitUsage;
}

}  // namespace kalvort::cli

int main(int argc, char **argv) {
  using namespace kalvort::cli;
  // A file-size limit makes a write fail (EFBIG) instead of killing the program, so a save
  // removes its temporary file and the command reports the failure.
  std::signal(SIGXFSZ, SIG_IGN);
  // The core's warnings on standard error; its debug trace stays in KALVORT_DEBUG_LOG's file.
  kalvort::SetLogSink([](kalvort::LogLevel level, std::string_view text) {
    if (level == kalvort::LogLevel::Warning) std::cerr << "kalvort: " << text << '\n';
  });
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    printHelp(std::cerr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    // "help COMMAND" is the command's own usage.
    if (args.size() > 1) {
      if (const CliCommand *c = findCommand(args[1])) {
        printUsage(*c);
        return kExitOk;
      }
    }
    printHelp(std::cout);
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "kalvort-cli " << KALVORT_VERSION << "\n";
    return kExitOk;
  }
  if (const CliCommand *c = findCommand(args[0])) return runCommand(*c, {args.begin() + 1, args.end()});
  return usageError("unknown command '" + args[0] + "'");
}
