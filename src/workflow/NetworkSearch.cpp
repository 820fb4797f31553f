#include "workflow/NetworkSearch.h"

#include "transport/LANDeviceUnit.h"

namespace kalvort::workflow {

NetworkSearch::NetworkSearch(uint32_t from, uint32_t to, uint16_t port)
    : from_(from), to_(to), next_(from), port_(port) {
  if (to < from) next_ = uint64_t{to} + 1;  // nothing to probe
}

NetworkSearch::~NetworkSearch() = default;

bool NetworkSearch::ParseRange(const std::string &from, const std::string &to, uint32_t &a, uint32_t &b,
                               std::string &error) {
  uint32_t x = 0, y = 0;
  for (const auto *text : {&from, &to}) {
    if (!ParseIPv4(*text, text == &from ? x : y)) {
      error = "Неверный IP-адрес: " + *text;
      return false;
    }
  }
  if (y < x) {
    error = kBadSearchRange;
    return false;
  }
  a = x;
  b = y;
  return true;
}

NetworkSearch::Result NetworkSearch::Step() {
  Result r;
  if (Done()) return r;
  r.address = static_cast<uint32_t>(next_);
  r.ip = DottedAddress(r.address);
  // The probe's subtype stays "none": it claims the controller, not one of its modules.
  if (!probe_)
    probe_ = std::make_unique<TLANDeviceClass>(r.ip, port_, 1);
  else
    probe_->SetIP_Port(r.ip, port_);
  probe_->DeviceClose();
  r.answered = probe_->DeviceOpen();
  probe_->DeviceClose();
  ++next_;
  if (Done()) probe_.reset();  // no probe object outlives the search
  return r;
}

int NetworkSearch::Percent() const {
  const uint64_t total = Total();
  if (total == 0) return 100;
  return static_cast<int>(Probed() * 100 / total);
}

}  // namespace kalvort::workflow
