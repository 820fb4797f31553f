#pragma once
// Hot-plug source for a real programmer: a libudev monitor on the USB subsystem that watches for
// one vendor:product pair and broadcasts doInsert / doRemove for a device interface class on the
// hot-plug hub. Runs its own thread from Start to Stop (or destruction).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "device/HotPlugTypes.h"

namespace kalvort {

struct TUsbId {
  uint16_t vendor = 0;
  uint16_t product = 0;
};

// Parses "vvvv:pppp" (hexadecimal, 1 to 4 digits each). False on anything else.
bool ParseUsbId(const std::string &text, TUsbId &id);

class TUdevHotPlugSource {
 public:
  TUdevHotPlugSource(TUsbId id, const TGUID &class_guid);
  ~TUdevHotPlugSource();
  TUdevHotPlugSource(const TUdevHotPlugSource &) = delete;
  TUdevHotPlugSource &operator=(const TUdevHotPlugSource &) = delete;

  // Opens the monitor and starts the thread; false with a message when udev is not available.
  bool Start(std::string &error);
  void Stop();

  // Whether a udev event for a USB device (its PRODUCT property, "vid/pid/bcd" in hexadecimal)
  // belongs to `id`.
  static bool ProductMatches(const char *product_property, TUsbId id);

 private:
  void Run();

  TUsbId id_;
  TGUID class_guid_;
  struct Monitor;
  std::unique_ptr<Monitor> monitor_;
  int wake_fd_ = -1;
  std::thread thread_;
};

}  // namespace kalvort
