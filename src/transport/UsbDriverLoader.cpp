#include "transport/UsbDriverLoader.h"

#include <dlfcn.h>

#include "transport/usb_dll_abi.h"

namespace kalvort {

namespace {

struct DriverTable {
  kalvort_InitUSB_fn InitUSB = nullptr;
  kalvort_CloseUSB_fn CloseUSB = nullptr;
  kalvort_FlashUSB_fn FlashUSB = nullptr;
  kalvort_Read_SMP_config_byte_fn Read_SMP_config_byte = nullptr;
  kalvort_SetReadSMP_fn SetReadSMP = nullptr;
  kalvort_SetWriteSMP_fn SetWriteSMP = nullptr;
  kalvort_ClearSMP_fn ClearSMP = nullptr;
  kalvort_SetSmpBufSize_fn SetSmpBufSize = nullptr;
  kalvort_ReadUSBData_fn ReadUSBData = nullptr;
  kalvort_WriteUSBData_fn WriteUSBData = nullptr;
  kalvort_WriteUSBComand_fn WriteUSBComand = nullptr;
  kalvort_AbortIO_fn AbortIO = nullptr;
};

class LoadedUsbDll final : public usb_dll {
 public:
  LoadedUsbDll(void *handle, const DriverTable &table) : handle_(handle), f_(table) {}
  ~LoadedUsbDll() override { dlclose(handle_); }

  bool InitUSB() override { return f_.InitUSB(); }
  void CloseUSB() override { f_.CloseUSB(); }
  void FlashUSB() override { f_.FlashUSB(); }
  bool Read_SMP_config_byte(uint8_t &status, uint8_t &version, bool &present) override {
    return f_.Read_SMP_config_byte(&status, &version, &present);
  }
  bool SetReadSMP(uint8_t slot, uint32_t flash_address) override {
    return f_.SetReadSMP(slot, flash_address);
  }
  bool SetWriteSMP(uint8_t slot, uint32_t address) override { return f_.SetWriteSMP(slot, address); }
  bool ClearSMP(uint8_t slot, uint16_t first, uint16_t count) override {
    return f_.ClearSMP(slot, first, count);
  }
  bool SetSmpBufSize(uint8_t slot, uint16_t size) override { return f_.SetSmpBufSize(slot, size); }
  bool ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t &transferred) override {
    return f_.ReadUSBData(buffer, length, &transferred);
  }
  bool WriteUSBData(const uint8_t *buffer, uint32_t length, uint32_t &transferred) override {
    return f_.WriteUSBData(buffer, length, &transferred);
  }
  bool WriteUSBComand(const uint8_t *record, uint32_t length, uint32_t &transferred) override {
    return f_.WriteUSBComand(record, length, &transferred);
  }
  bool AbortIO() override { return f_.AbortIO(); }

 private:
  void *handle_;
  DriverTable f_;
};

template <typename Fn>
void resolve(void *handle, const char *name, Fn &slot, std::string &missing) {
  slot = reinterpret_cast<Fn>(dlsym(handle, name));
  if (!slot) {
    if (!missing.empty()) missing += ", ";
    missing += name;
  }
}

}  // namespace

std::unique_ptr<usb_dll> LoadUsbDriver(const std::string &path, std::string &error) {
  if (path.empty()) {
    error = "USB driver: no library named";
    return nullptr;
  }
  dlerror();
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char *why = dlerror();
    error = "USB driver " + path + " cannot be loaded: " + (why ? why : "unknown error");
    return nullptr;
  }
  DriverTable t;
  std::string missing;
  resolve(handle, "InitUSB", t.InitUSB, missing);
  resolve(handle, "CloseUSB", t.CloseUSB, missing);
  resolve(handle, "FlashUSB", t.FlashUSB, missing);
  resolve(handle, "Read_SMP_config_byte", t.Read_SMP_config_byte, missing);
  resolve(handle, "SetReadSMP", t.SetReadSMP, missing);
  resolve(handle, "SetWriteSMP", t.SetWriteSMP, missing);
  resolve(handle, "ClearSMP", t.ClearSMP, missing);
  resolve(handle, "SetSmpBufSize", t.SetSmpBufSize, missing);
  resolve(handle, "ReadUSBData", t.ReadUSBData, missing);
  resolve(handle, "WriteUSBData", t.WriteUSBData, missing);
  resolve(handle, "WriteUSBComand", t.WriteUSBComand, missing);
  resolve(handle, "AbortIO", t.AbortIO, missing);
  if (!missing.empty()) {
    dlclose(handle);
    error = "USB driver " + path + " is refused: it does not export " + missing;
    return nullptr;
  }
  error.clear();
  return std::make_unique<LoadedUsbDll>(handle, t);
}

}  // namespace kalvort
