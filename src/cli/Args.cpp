#include "cli/Args.h"

#include <charconv>

namespace kalvort::cli {

Args::Args(const std::vector<std::string> &args, const std::set<std::string> &flags,
           const std::set<std::string> &valued) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (optionsEnded || a == "-" || !a.starts_with("-")) {
      positional_.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (auto eq = a.find('='); eq != std::string::npos && a.starts_with("--")) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
    }
    if (flags.count(name) && !inlineValue) {
      seen_.insert(name);
    } else if (valued.count(name)) {
      if (inlineValue) {
        values_[name] = *inlineValue;
      } else if (i + 1 < args.size()) {
        values_[name] = args[++i];
      } else {
        error_ = "option " + name + " needs a value";
        return;
      }
      seen_.insert(name);
    } else {
      error_ = "unknown option " + a;
      return;
    }
  }
}

std::optional<std::string> Args::value(const std::string &name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<long long> parseInteger(const std::string &text, long long min, long long max) {
  long long v = 0;
  const char *end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (text.empty() || ec != std::errc() || ptr != end || v < min || v > max) return std::nullopt;
  return v;
}

}  // namespace kalvort::cli
