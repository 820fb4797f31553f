#include "sim/MemoryDevice.h"

#include "module/ModuleStatus.h"

namespace kalvort::sim {

namespace {
constexpr uint32_t kFirmwareVersion = 0x00010107;
}

TMemoryDevice::TMemoryDevice(std::shared_ptr<ModuleMemory> module, TDeviceType type)
    : TDeviceClass(type), FModule(std::move(module)) {
  if (!FModule) FModule = std::make_shared<ModuleMemory>(0);
}

TMemoryDevice::~TMemoryDevice() {
  StopWorker();
  DeviceClose();
}

void TMemoryDevice::FGetDeviceState() {
  if (!FDevState.connected) return;
  FDevState.version = 1;
  FDevState.full_version = 0;
  const uint8_t status = FModule->StatusByte();
  FDevState.MP_connected = FModule->Present() && ModuleDensityIndex(status) != kModuleNoModuleIndex;
  if (FDevState.MP_connected) {
    DecodeModuleStatus(status, FDevState);
  } else {
    FDevState.MP_ready = false;
    FDevState.MP_type = mptNone;
  }
}

bool TMemoryDevice::FOpenDevice() {
  FOpen = FProgrammerPresent.load();
  return FOpen;
}

void TMemoryDevice::FCloseDevice() {
  if (FOpen) FModule->Stop();
  FOpen = false;
}

uint32_t TMemoryDevice::FGetFullVersion() { return FOpen ? kFirmwareVersion : 0; }

bool TMemoryDevice::FTakeDevice(int32_t) { return FOpen && !FHeldByOther.load(); }

void TMemoryDevice::FReleaseDevice() {}

bool TMemoryDevice::FSetReadAddr(uint32_t address) {
  if (!FOpen) return false;
  const ModuleGeometry g = FModule->Geometry();
  if (g.page_size <= 0 || address >= static_cast<uint32_t>(g.size())) return false;
  return FModule->SetReadAddress(ModuleFlashAddress(address, g.page_size, g.page_bits));
}

bool TMemoryDevice::FReadData(uint8_t *buffer, uint32_t length) {
  return FOpen && FModule->Read(buffer, length);
}

bool TMemoryDevice::FSetWriteAddr(uint32_t address) { return FOpen && FModule->SetWriteAddress(address); }

bool TMemoryDevice::FWriteData(const uint8_t *buffer, uint32_t length) {
  return FOpen && FModule->Write(buffer, length);
}

bool TMemoryDevice::FStopReadWrite() {
  FModule->Stop();
  return FOpen;
}

bool TMemoryDevice::FEraseBlocks(uint32_t first_block, uint32_t count) {
  return FOpen && FModule->EraseBlocks(first_block, count);
}

bool TMemoryDevice::FSetBufferSize(uint32_t size) { return FOpen && FModule->SetBufferSize(size); }

bool TMemoryDevice::FAbortIO() {
  FModule->Stop();
  return FOpen;
}

bool TMemoryDevice::FSetBootMode() { return false; }

bool TMemoryDevice::FStartUpdate() { return false; }

TDeviceState TMemoryDevice::FGetDevState() {
  FGetDeviceState();
  return FDevState;
}

}  // namespace kalvort::sim
