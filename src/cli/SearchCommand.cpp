// kalvort-cli search: probes a range of addresses for networked controllers, one probe per address
// as the desktop program's network search does, and prints every address that answers as soon as
// it does.

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliProgress.h"
#include "transport/LanUnit.h"
#include "workflow/NetworkSearch.h"

namespace kalvort::cli {
namespace {

int runSearch(const std::vector<std::string> &argv) {
  Args args(argv, {}, {});
  if (!args.ok()) return usageError(args.error());
  if (args.positional().size() != 2) return usageError("search needs FROM and TO addresses");
  uint32_t from = 0, to = 0;
  for (const auto &text : args.positional()) {
    uint32_t unused = 0;
    if (!workflow::ParseIPv4(text, unused)) return usageError("not an IPv4 address: " + text);
  }
  std::string error;
  if (!workflow::NetworkSearch::ParseRange(args.positional()[0], args.positional()[1], from, to, error)) {
    std::cerr << "kalvort-cli: " << error << "\n";
    return kExitUsage;
  }
  if (lan_loopback_only() && (from >> 24 != 127 || to >> 24 != 127))
    std::cerr << "kalvort-cli: KALVORT_LOOPBACK_ONLY is set: addresses outside 127.0.0.0/8 are not probed\n";

  workflow::NetworkSearch search(from, to);
  CliProgress progress;
  progress.stage("Поиск");
  progress.update(0);
  int found = 0;
  while (!search.Done()) {
    const auto result = search.Step();
    if (result.answered) {
      progress.finish();
      std::cout << result.ip << std::endl;
      ++found;
    }
    progress.update(search.Percent());
  }
  progress.finish();
  std::cerr << "kalvort-cli: найдено устройств: " << found << "\n";
  return kExitOk;
}

CliCommandRegistration registration{{
    "search",
    "  search FROM TO\n"
    "      Probes the IPv4 addresses FROM..TO (port 30000) one by one for networked controllers\n"
    "      and prints each address that answers as soon as it does.",
    runSearch,
}};

}  // namespace
}  // namespace kalvort::cli
