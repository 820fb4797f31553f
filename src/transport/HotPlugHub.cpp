#include "transport/HotPlugHub.h"

#include <utility>

namespace kalvort {

THotPlugHub &THotPlugHub::Instance() {
  static THotPlugHub hub;
  return hub;
}

uint64_t THotPlugHub::Register(const TGUID &class_guid, Sink sink) {
  std::lock_guard lock(mutex_);
  const uint64_t handle = next_handle_++;
  entries_.emplace(handle, Entry{class_guid, std::move(sink)});
  return handle;
}

void THotPlugHub::Unregister(uint64_t handle) {
  std::lock_guard lock(mutex_);
  entries_.erase(handle);
}

int THotPlugHub::Broadcast(const TGUID &class_guid, TDeviceOperation op) {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (auto &[handle, entry] : entries_) {
    if (entry.class_guid == class_guid && entry.sink) {
      entry.sink(op);
      ++count;
    }
  }
  return count;
}

uint64_t THotPlugHub::RegistrationsMade() const {
  std::lock_guard lock(mutex_);
  return next_handle_ - 1;
}

int THotPlugHub::RegistrationsAlive(const TGUID &class_guid) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const auto &[handle, entry] : entries_)
    if (entry.class_guid == class_guid) ++count;
  return count;
}

}  // namespace kalvort
