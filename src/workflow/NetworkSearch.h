#pragma once
// NetworkSearch: looks for networked controllers over a range of IPv4 addresses, one address per
// Step(), as the network search of the desktop program does: open the connection (the controller
// must answer within 250 ms), claim the controller, release it. A controller that another station
// holds still answers, so it counts as found. The caller drives the steps (the desktop program
// from a worker, with a pause between them; kalvort-cli in a loop) and may stop between any two.

#include <cstdint>
#include <memory>
#include <string>

#include "workflow/DeviceTarget.h"

namespace kalvort {
class TLANDeviceClass;
}

namespace kalvort::workflow {

inline constexpr char kBadSearchRange[] = "Неверный диапазон поиска.";

class NetworkSearch {
 public:
  // Host-order IPv4 addresses, from <= to (an inverted range probes nothing).
  NetworkSearch(uint32_t from, uint32_t to, uint16_t port = kControllerPort);
  ~NetworkSearch();
  NetworkSearch(const NetworkSearch &) = delete;
  NetworkSearch &operator=(const NetworkSearch &) = delete;

  // Both ends as dotted-decimal text. False with the message in `error`: a malformed address, or
  // "Неверный диапазон поиска." when `to` lies below `from`.
  static bool ParseRange(const std::string &from, const std::string &to, uint32_t &a, uint32_t &b,
                         std::string &error);

  bool Done() const { return next_ > to_; }
  struct Result {
    uint32_t address = 0;
    std::string ip;
    bool answered = false;
  };
  // Probes the next address (up to about 750 ms for one that answers, 250 ms for one that does
  // not). Call only while !Done().
  Result Step();
  // Progress 0..100 over the whole address range (addresses probed / addresses in the range).
  int Percent() const;
  uint64_t Probed() const { return Total() == 0 ? 0 : next_ - from_; }
  uint64_t Total() const { return to_ >= from_ ? to_ - from_ + 1 : 0; }

 private:
  uint64_t from_;
  uint64_t to_;
  uint64_t next_;
  uint16_t port_;
  std::unique_ptr<TLANDeviceClass> probe_;  // created at the first step
};

}  // namespace kalvort::workflow
