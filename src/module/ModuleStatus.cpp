#include "module/ModuleStatus.h"

namespace kalvort {

namespace {

constexpr ModuleGeometry kGeometry[kModuleDensityIndexCount] = {
    {9, 264, 256},   {9, 264, 512},   {9, 264, 1024},  {9, 264, 2048},  {9, 264, 4096},
    {10, 528, 4096}, {10, 528, 8192}, {11, 1056, 8192}, {9, 264, 32768},
};

constexpr int32_t kSizeMP500 = 540672;
constexpr int32_t kSizeMP2000 = 2162688;
constexpr int32_t kSizeMP8000 = 8650752;

TMPtype typeOf(int index, int32_t size) {
  if (index == 8) return mptMP8000_new;  // same size as mptMP8000, told apart by the index
  switch (size) {
    case kSizeMP500: return mptMP500;
    case kSizeMP2000: return mptMP2000;
    case kSizeMP8000: return mptMP8000;
    default: return mptNone;
  }
}

}  // namespace

const ModuleGeometry &ModuleGeometryRow(int index) {
  if (index < 0 || index >= kModuleDensityIndexCount) index = 0;
  return kGeometry[index];
}

int ModuleDensityIndex(uint8_t status) {
  return (status & 0x04) ? (status >> 3) & 0x07 : 8;
}

TMPtype ModuleTypeOfIndex(int index) {
  if (index <= 0 || index >= kModuleDensityIndexCount) return mptNone;
  return typeOf(index, kGeometry[index].size());
}

void DecodeModuleStatus(uint8_t status, TDeviceState &state) {
  state.MP_ready = (status & 0x80) != 0;
  const int index = ModuleDensityIndex(status);
  state.MP_type = mptNone;
  if (index == kModuleNoModuleIndex) {
    state.MP_connected = false;
    return;
  }
  const ModuleGeometry &g = kGeometry[index];
  state.MP_page_bits = g.page_bits;
  state.MP_page_size = g.page_size;
  state.MP_page_all = g.page_all;
  state.MP_size = g.size();
  state.MP_type = typeOf(index, state.MP_size);
}

uint8_t EncodeModuleStatus(int index, bool ready) {
  uint8_t status = ready ? 0x80 : 0x00;
  if (index >= 0 && index < 8) status |= 0x04 | static_cast<uint8_t>(index << 3);
  return status;  // index 8: bit 2 clear, density bits 0
}

uint32_t ModuleFlashAddress(uint32_t linear, int32_t page_size, int32_t page_bits) {
  if (page_size <= 0 || page_bits < 8 || page_bits > 16) return 0;
  const uint16_t page = static_cast<uint16_t>(linear / static_cast<uint32_t>(page_size));
  const uint16_t offset = static_cast<uint16_t>(linear % static_cast<uint32_t>(page_size));
  const uint32_t b0 = (static_cast<uint32_t>(page) >> (16 - page_bits)) & 0xFF;
  const uint32_t b1 = ((static_cast<uint32_t>(page) << (page_bits - 8)) | (offset >> 8)) & 0xFF;
  const uint32_t b2 = offset & 0xFF;
  return (b0 << 16) | (b1 << 8) | b2;
}

}  // namespace kalvort
