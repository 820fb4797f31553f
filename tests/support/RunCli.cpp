#include "support/RunCli.h"

#include <sys/wait.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace kalvort::test {

int runCli(const std::filesystem::path &dir, const std::string &args, std::string &out, std::string &err,
           const std::string &env, const std::string &wrapper) {
  const std::string command = "cd '" + dir.string() + "' && " + env + " " + wrapper + " '" KALVORT_CLI_PATH
                              "' " + args + " >.stdout 2>.stderr";
  const int status = std::system(command.c_str());
  out = readFileBytes(dir / ".stdout");
  err = readFileBytes(dir / ".stderr");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kalvort::test
