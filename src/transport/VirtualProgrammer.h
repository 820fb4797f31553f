#pragma once
// The virtual USB programmer: a usb_dll over the module memory model, so Kalvort runs every
// command without the maker's driver. It is plugged in, reports firmware version byte 209 and holds
// one module whose bytes persist in a file, saved at the end of every device action that changed
// them (StoreChanges: a change that cannot be saved fails the action) and whenever the programmer
// is closed after a change (temporary file, flush, rename: the previous good file survives any
// failure).
//
// Like the hardware it stands for, every call but InitUSB fails while the programmer is closed or
// unplugged. PlugIn / PlugOut raise the hot-plug events of the programmer's interface class.
// Thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "module/ModuleMemory.h"
#include "device/HotPlugTypes.h"
#include "transport/UsbDll.h"

namespace kalvort {

inline constexpr uint8_t kVirtualProgrammerVersion = 209;

struct TVirtualProgrammerConfig {
  std::string module_file;   // empty: the module lives in memory only
  int density_index = 3;     // row of the geometry table; 0 = no module in the programmer
  uint8_t version = kVirtualProgrammerVersion;
  uint32_t full_version = kVirtualProgrammerVersion;  // bytes 0..3 of the ciGetVersion reply
  TGUID class_guid = kUsbProgrammerClassGUID;          // class of the hot-plug events it raises
};

// "0".."8" (geometry row) or 500, 2000, 8000, 8000new, none. False on anything else.
bool ParseVirtualModuleKind(const std::string &text, int &density_index);
// $XDG_DATA_HOME/kalvort/virtual-module.bin, $XDG_DATA_HOME defaulting to ~/.local/share.
std::string DefaultVirtualModulePath();
// KALVORT_VIRTUAL_MODULE (file), KALVORT_VIRTUAL_KIND (module kind) and KALVORT_VIRTUAL_FIRMWARE
// (firmware version byte, 0..255) over the defaults.
bool VirtualProgrammerConfigFromEnvironment(TVirtualProgrammerConfig &config, std::string &error);

struct TFileIdentity {
  uint64_t inode = 0;
  int64_t mtime_ns = 0;
  uint64_t size = 0;
  friend bool operator==(const TFileIdentity &, const TFileIdentity &) = default;
};

class TVirtualProgrammer final : public usb_dll, public usb_module_store {
 public:
  // Loads the module file, or creates it blank (all 0xFF) when it does not exist. A file whose size
  // is not the module's is left untouched and refused.
  static std::unique_ptr<TVirtualProgrammer> Create(const TVirtualProgrammerConfig &config,
                                                    std::string &error);
  ~TVirtualProgrammer() override;

  bool InitUSB() override;
  void CloseUSB() override;
  void FlashUSB() override;
  bool Read_SMP_config_byte(uint8_t &status, uint8_t &version, bool &present) override;
  bool SetReadSMP(uint8_t slot, uint32_t flash_address) override;
  bool SetWriteSMP(uint8_t slot, uint32_t address) override;
  bool ClearSMP(uint8_t slot, uint16_t first, uint16_t count) override;
  bool SetSmpBufSize(uint8_t slot, uint16_t size) override;
  bool ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t &transferred) override;
  bool WriteUSBData(const uint8_t *buffer, uint32_t length, uint32_t &transferred) override;
  bool WriteUSBComand(const uint8_t *record, uint32_t length, uint32_t &transferred) override;
  bool AbortIO() override;
  // Save(); a failure is logged.
  bool StoreChanges() override;

  // Plugging the programmer into the workstation and pulling it out. Each change of state raises
  // one hot-plug event; repeating the current state raises none.
  void PlugIn();
  void PlugOut();
  bool Plugged() const;

  // The module in the programmer (tests inject faults and look at bytes through it).
  sim::ModuleMemory &Module() { return module_; }
  const TVirtualProgrammerConfig &Config() const { return config_; }
  // Writes unsaved changes to the module file now; true when nothing was left unsaved.
  bool Save(std::string &error);

 private:
  explicit TVirtualProgrammer(const TVirtualProgrammerConfig &config);
  bool readyForIo() const;  // caller holds mutex_
  bool saveLocked(std::string &error);
  void reloadIfChangedLocked();

  TVirtualProgrammerConfig config_;
  sim::ModuleMemory module_;
  mutable std::mutex mutex_;
  bool plugged_ = true;
  bool open_ = false;
  // Reply to the last ciGetVersion, handed out by the next ReadUSBData.
  bool reply_pending_ = false;
  uint8_t reply_[kUsbVersionReplySize] = {};
  uint64_t saved_generation_ = 0;
  // Identity of the module file as last loaded or saved, to notice another process's save.
  TFileIdentity file_;
};

}  // namespace kalvort
