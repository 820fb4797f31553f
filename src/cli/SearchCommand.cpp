// kalvort-cli search: probes a range of addresses for networked controllers, one probe per address
// as the desktop program's network search does (open the connection, claim the controller,
// release it), and prints every address that answers as soon as it does.

#include <arpa/inet.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliProgress.h"
#include "transport/LANDeviceUnit.h"
#include "transport/LanUnit.h"

namespace kalvort::cli {
namespace {

constexpr uint16_t kControllerPort = 30000;
constexpr const char *kBadRange = "Неверный диапазон поиска.";

// Dotted-decimal IPv4 as a number in host order (a.b.c.d = a*2^24 + b*2^16 + c*2^8 + d).
std::optional<uint32_t> parseAddress(const std::string &text) {
  in_addr a{};
  if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return std::nullopt;
  return ntohl(a.s_addr);
}

std::string dotted(uint32_t v) {
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xFF) + "." +
         std::to_string((v >> 8) & 0xFF) + "." + std::to_string(v & 0xFF);
}

int runSearch(const std::vector<std::string> &argv) {
  Args args(argv, {}, {});
  if (!args.ok()) return usageError(args.error());
  if (args.positional().size() != 2) return usageError("search needs FROM and TO addresses");
  const auto from = parseAddress(args.positional()[0]);
  const auto to = parseAddress(args.positional()[1]);
  if (!from) return usageError("not an IPv4 address: " + args.positional()[0]);
  if (!to) return usageError("not an IPv4 address: " + args.positional()[1]);
  if (*to < *from) {
    std::cerr << "kalvort-cli: " << kBadRange << "\n";
    return kExitUsage;
  }
  if (lan_loopback_only() && (*from >> 24 != 127 || *to >> 24 != 127))
    std::cerr << "kalvort-cli: KALVORT_LOOPBACK_ONLY is set: addresses outside 127.0.0.0/8 are not probed\n";

  const uint64_t total = uint64_t{*to} - *from + 1;
  CliProgress progress;
  progress.stage("Поиск");
  progress.update(0);
  int found = 0;
  TLANDeviceClass probe(dotted(*from), kControllerPort);  // subtype none: claims the controller
  for (uint64_t k = 0; k < total; ++k) {
    const uint32_t address = static_cast<uint32_t>(*from + k);
    if (k > 0) probe.SetIP_Port(dotted(address), kControllerPort);
    probe.DeviceClose();
    // An answering controller counts as found even when another station holds it.
    const bool answered = probe.DeviceOpen();
    probe.DeviceClose();
    if (answered) {
      progress.finish();
      std::cout << dotted(address) << std::endl;
      ++found;
    }
    progress.update(static_cast<int>((k + 1) * 100 / total));
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
