#pragma once
// Runs the built kalvort-cli in a temporary folder of its own, with a settings file, a virtual
// programmer's module file and XDG data folder inside that folder.

#include <string>

#include "support/TempDir.h"

namespace kalvort::test {

class CliRunner {
 public:
  // Runs kalvort-cli ARGS in dir; standard output in `out`, standard error in `err`; the exit code.
  int run(const std::string &args);

  std::string path(const std::string &name) const { return dir.file(name).string(); }
  std::string moduleFile() const { return path("module.bin"); }

  TempDir dir;
  std::string virtual_kind = "2000";  // KALVORT_VIRTUAL_KIND of the runs
  std::string wrapper;                // a command kalvort-cli runs under, e.g. "timeout -s INT 1"
  std::string out, err;
};

}  // namespace kalvort::test
