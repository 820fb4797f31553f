#pragma once
// Process-wide notification of device-interface arrivals and removals, filtered by interface
// class: the event sources (the virtual programmer, the udev monitor of a real driver) broadcast,
// the hot-plug listeners (TUSBDetector) register for one class each.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

#include "device/HotPlugTypes.h"

namespace kalvort {

class THotPlugHub {
 public:
  using Sink = std::function<void(TDeviceOperation)>;

  static THotPlugHub &Instance();

  // Returns a non-zero handle. The sink is called on the broadcasting thread, with the hub's lock
  // held: it must only hand the event on (post it), never call back into the hub.
  uint64_t Register(const TGUID &class_guid, Sink sink);
  // After this returns the sink is never called again.
  void Unregister(uint64_t handle);
  // Raises `op` for every registration of `class_guid`; returns how many received it.
  int Broadcast(const TGUID &class_guid, TDeviceOperation op);

  // Registrations made so far, ever (for tests) and registrations alive now.
  uint64_t RegistrationsMade() const;
  int RegistrationsAlive(const TGUID &class_guid) const;

 private:
  struct Entry {
    TGUID class_guid;
    Sink sink;
  };
  mutable std::mutex mutex_;
  uint64_t next_handle_ = 1;
  std::map<uint64_t, Entry> entries_;
};

}  // namespace kalvort
