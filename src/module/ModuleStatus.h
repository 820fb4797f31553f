#pragma once
// The memory module's status byte and geometry table, shared by both transports (USB programmer
// and network controller) and by the module model that plays their part in the simulators.
//
// Status byte: bit 7 = ready (no erase or programming cycle running); bit 2 set = bits 5..3 hold
// the density index 0..7; bit 2 clear = density index 8. Density index 0 means "no module".

#include <cstdint>

#include "device/DeviceTypes.h"

namespace kalvort {

struct ModuleGeometry {
  int32_t page_bits;  // low bits of a flash address that hold the byte offset within a page
  int32_t page_size;  // bytes per page
  int32_t page_all;   // pages in the module
  int32_t size() const { return page_size * page_all; }
};

inline constexpr int kModuleDensityIndexCount = 9;
inline constexpr int kModuleNoModuleIndex = 0;

// Row 0..8 of the geometry table; any other index gives row 0.
const ModuleGeometry &ModuleGeometryRow(int index);

// Density index 0..8 encoded in a status byte.
int ModuleDensityIndex(uint8_t status);

// Module kind of a geometry row (mptNone for rows without a kind of their own, and for row 0).
TMPtype ModuleTypeOfIndex(int index);

// Applies a status byte reported for a present module to `state`: MP_ready, MP_type and, unless the
// index is 0 (which clears MP_connected and leaves the rest), the page geometry and MP_size.
void DecodeModuleStatus(uint8_t status, TDeviceState &state);

// The status byte a module of density index `index` (1..8, or 0 for "no module") reports.
uint8_t EncodeModuleStatus(int index, bool ready);

// The module's 24-bit flash address (page << page_bits | offset) of a linear byte address,
// page and offset taken as 16-bit values like the hardware does.
uint32_t ModuleFlashAddress(uint32_t linear, int32_t page_size, int32_t page_bits);

}  // namespace kalvort
