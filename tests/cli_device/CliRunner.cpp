#include "CliRunner.h"

#include <sys/wait.h>

#include <cstdlib>

namespace kalvort::test {

int CliRunner::run(const std::string &args) {
  const std::string d = dir.path().string();
  const std::string command = "cd '" + d + "' && KALVORT_LOOPBACK_ONLY=1 KALVORT_CONFIG='" + d +
                              "/kalvort.ini' XDG_DATA_HOME='" + d + "/data' KALVORT_VIRTUAL_MODULE='" +
                              moduleFile() + "' KALVORT_VIRTUAL_KIND=" + virtual_kind +
                              " " + wrapper + " '" KALVORT_CLI_PATH "' " + args + " >.stdout 2>.stderr";
  const int status = std::system(command.c_str());
  out = readFileBytes(dir.file(".stdout"));
  err = readFileBytes(dir.file(".stderr"));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kalvort::test
