#pragma once
// Picks the USB programmer's driver for the desktop program and the command line: the library
// named by KALVORT_USB_DRIVER when that is set (with a udev hot-plug source for the vendor:product
// in KALVORT_USB_ID), otherwise the virtual programmer (KALVORT_VIRTUAL_MODULE, KALVORT_VIRTUAL_KIND).
// A driver that cannot be loaded is an error: the virtual programmer never stands in for it.

#include <memory>
#include <string>

#include "transport/UdevHotPlug.h"
#include "transport/UsbDll.h"
#include "transport/VirtualProgrammer.h"

namespace kalvort {

struct TUsbBackend {
  std::shared_ptr<usb_dll> dll;
  // Set when `dll` is the virtual programmer (it is the same object).
  std::shared_ptr<TVirtualProgrammer> virtual_programmer;
  // Plug events of a real programmer; null for the virtual one or without KALVORT_USB_ID.
  std::unique_ptr<TUdevHotPlugSource> hotplug;
  // One line for the user: which driver and which module file.
  std::string description;
  // Something the user should know that does not stop the programmer (no hot-plug events).
  std::string warning;
};

// Null with a message in `error` when the chosen driver cannot be used.
std::shared_ptr<TUsbBackend> CreateUsbBackend(std::string &error);

}  // namespace kalvort
