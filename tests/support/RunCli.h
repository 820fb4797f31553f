#pragma once
// Runs the built kalvort-cli as a user runs it: in `dir`, with `env` (shell assignments such as
// "KALVORT_CONFIG='/tmp/x/kalvort.ini'") and an optional wrapper command before it.

#include <filesystem>
#include <string>

namespace kalvort::test {

// Returns the exit code (-1 when it did not exit normally); standard output and error in out/err.
int runCli(const std::filesystem::path &dir, const std::string &args, std::string &out, std::string &err,
           const std::string &env = {}, const std::string &wrapper = {});

}  // namespace kalvort::test
