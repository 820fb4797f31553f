#pragma once
// A small command-line reader: options ("--name" or "--name VALUE") and positional arguments.
// "-" is a positional argument (standard input or output); "--" ends the options.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kalvort::cli {

class Args {
 public:
  // `flags` take no value, `valued` take one. Unknown options make ok() false.
  Args(const std::vector<std::string> &args, const std::set<std::string> &flags,
       const std::set<std::string> &valued);

  bool ok() const { return error_.empty(); }
  const std::string &error() const { return error_; }

  bool has(const std::string &name) const { return seen_.count(name) > 0; }
  std::optional<std::string> value(const std::string &name) const;
  const std::vector<std::string> &positional() const { return positional_; }

 private:
  std::set<std::string> seen_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
  std::string error_;
};

// Parses a whole decimal number in [min, max].
std::optional<long long> parseInteger(const std::string &text, long long min, long long max);

}  // namespace kalvort::cli
