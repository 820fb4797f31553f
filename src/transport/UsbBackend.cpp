#include "transport/UsbBackend.h"

#include <cstdlib>

#include "transport/UsbDriverLoader.h"

namespace kalvort {

std::shared_ptr<TUsbBackend> CreateUsbBackend(std::string &error) {
  auto backend = std::make_shared<TUsbBackend>();
  const char *driver = std::getenv("KALVORT_USB_DRIVER");
  if (driver && *driver) {
    std::unique_ptr<usb_dll> dll = LoadUsbDriver(driver, error);
    if (!dll) return nullptr;
    backend->dll = std::move(dll);
    backend->description = std::string("USB driver ") + driver;
    const char *id_text = std::getenv("KALVORT_USB_ID");
    if (!id_text || !*id_text) {
      backend->warning = "KALVORT_USB_ID is not set: plugging the programmer in or out is not seen";
      return backend;
    }
    TUsbId id;
    if (!ParseUsbId(id_text, id)) {
      error = std::string("KALVORT_USB_ID=") + id_text + ": expected VENDOR:PRODUCT in hexadecimal";
      return nullptr;
    }
    auto source = std::make_unique<TUdevHotPlugSource>(id, kUsbProgrammerClassGUID);
    std::string why;
    if (source->Start(why))
      backend->hotplug = std::move(source);
    else
      backend->warning = "USB hot-plug events are not available: " + why;
    return backend;
  }

  TVirtualProgrammerConfig config;
  if (!VirtualProgrammerConfigFromEnvironment(config, error)) return nullptr;
  std::shared_ptr<TVirtualProgrammer> programmer = TVirtualProgrammer::Create(config, error);
  if (!programmer) return nullptr;
  backend->virtual_programmer = programmer;
  backend->dll = programmer;
  backend->description = config.density_index == 0
                             ? std::string("virtual programmer, no module")
                             : "virtual programmer, module file " + config.module_file;
  return backend;
}

}  // namespace kalvort
