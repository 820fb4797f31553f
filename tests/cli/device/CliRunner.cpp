#include "CliRunner.h"

#include "support/RunCli.h"

namespace kalvort::test {

int CliRunner::run(const std::string &args) {
  const std::string d = dir.path().string();
  const std::string env = "KALVORT_LOOPBACK_ONLY=1 KALVORT_CONFIG='" + d + "/kalvort.ini' XDG_DATA_HOME='" +
                          d + "/data' KALVORT_VIRTUAL_MODULE='" + moduleFile() +
                          "' KALVORT_VIRTUAL_KIND=" + virtual_kind;
  return runCli(dir.path(), args, out, err, env, wrapper);
}

}  // namespace kalvort::test
