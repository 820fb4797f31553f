#include "sim/MemoryDevice.h"

#include "module/ModuleStatus.h"

namespace kalvort::sim {

namespace {
constexpr uint32_t kFirmwareVersion = 0x00010107;
}

TMemoryDevice::TMemoryDevice(std::shared_ptr<ModuleMemory> module, TDeviceType type)
    : TDeviceClass(type), module_(std::move(module)) {
  if (!module_) module_ = std::make_shared<ModuleMemory>(0);
}

TMemoryDevice::~TMemoryDevice() {
  StopWorker();
  DeviceClose();
}

void TMemoryDevice::LinkGetDeviceState() {
  if (!dev_state_.connected) return;
  dev_state_.version = 1;
  dev_state_.full_version = 0;
  const uint8_t status = module_->StatusByte();
  dev_state_.MP_connected = module_->Present() && ModuleDensityIndex(status) != kModuleNoModuleIndex;
  if (dev_state_.MP_connected) {
    DecodeModuleStatus(status, dev_state_);
  } else {
    dev_state_.MP_ready = false;
    dev_state_.MP_type = mptNone;
  }
}

bool TMemoryDevice::LinkOpenDevice() {
  open_ = programmer_present_.load();
  return open_;
}

void TMemoryDevice::LinkCloseDevice() {
  if (open_) module_->Stop();
  open_ = false;
}

uint32_t TMemoryDevice::LinkGetFullVersion() { return open_ ? kFirmwareVersion : 0; }

bool TMemoryDevice::LinkTakeDevice(int32_t) { return open_ && !held_by_other_.load(); }

void TMemoryDevice::LinkReleaseDevice() {}

bool TMemoryDevice::LinkSetReadAddr(uint32_t address) {
  if (!open_) return false;
  const ModuleGeometry g = module_->Geometry();
  if (g.page_size <= 0 || address >= static_cast<uint32_t>(g.size())) return false;
  return module_->SetReadAddress(ModuleFlashAddress(address, g.page_size, g.page_bits));
}

bool TMemoryDevice::LinkReadData(uint8_t *buffer, uint32_t length) {
  return open_ && module_->Read(buffer, length);
}

bool TMemoryDevice::LinkSetWriteAddr(uint32_t address) { return open_ && module_->SetWriteAddress(address); }

bool TMemoryDevice::LinkWriteData(const uint8_t *buffer, uint32_t length) {
  return open_ && module_->Write(buffer, length);
}

bool TMemoryDevice::LinkStopReadWrite() {
  module_->Stop();
  return open_;
}

bool TMemoryDevice::LinkEraseBlocks(uint32_t first_block, uint32_t count) {
  return open_ && module_->EraseBlocks(first_block, count);
}

bool TMemoryDevice::LinkSetBufferSize(uint32_t size) { return open_ && module_->SetBufferSize(size); }

bool TMemoryDevice::LinkAbortIO() {
  module_->Stop();
  return open_;
}

bool TMemoryDevice::LinkSetBootMode() { return false; }

bool TMemoryDevice::LinkStartUpdate() { return false; }

TDeviceState TMemoryDevice::LinkGetDevState() {
  LinkGetDeviceState();
  return dev_state_;
}

}  // namespace kalvort::sim
