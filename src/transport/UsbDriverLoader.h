#pragma once
// A real programmer driver: a shared library exporting the twelve functions of usb_dll_abi.h as
// C symbols, opened with dlopen. A library that lacks any of them is refused as a whole.

#include <memory>
#include <string>

#include "transport/UsbDll.h"

namespace kalvort {

// Opens `path` and resolves every function. On failure returns null and leaves a message naming
// the library and what is wrong (the dlopen error, or the missing symbols) in `error`.
std::unique_ptr<usb_dll> LoadUsbDriver(const std::string &path, std::string &error);

}  // namespace kalvort
