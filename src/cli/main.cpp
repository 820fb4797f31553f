// kalvort-cli: Kalvort's core from the command line.

#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace kalvort::cli {
namespace {

std::vector<CliCommand> &registry() {
  static std::vector<CliCommand> all;
  return all;
}

void printHelp(std::ostream &out) {
  out << "Usage: kalvort-cli COMMAND [OPTIONS] ARGS...\n"
         "       kalvort-cli --help | --version\n\n"
         "Commands:\n";
  for (const auto &c : commands()) out << c.synopsis << "\n";
  out << "\nExit status: 0 on success, 1 when the operation failed, 2 on a usage error.\n";
}

}  // namespace

const std::vector<CliCommand> &commands() { return registry(); }

CliCommandRegistration::CliCommandRegistration(CliCommand command) {
  auto &all = registry();
  auto pos = all.begin();
  while (pos != all.end() && pos->name < command.name) ++pos;
  all.insert(pos, std::move(command));
}

int usageError(const std::string &message) {
  std::cerr << "kalvort-cli: " << message << "\nTry 'kalvort-cli --help'.\n";
  return kExitUsage;
}

}  // namespace kalvort::cli

int main(int argc, char **argv) {
  using namespace kalvort::cli;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    printHelp(std::cerr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printHelp(std::cout);
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "kalvort-cli " << KALVORT_VERSION << "\n";
    return kExitOk;
  }
  for (const auto &c : commands()) {
    if (c.name == args[0]) return c.run({args.begin() + 1, args.end()});
  }
  return usageError("unknown command '" + args[0] + "'");
}
