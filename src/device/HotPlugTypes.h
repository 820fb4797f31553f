#pragma once
// Device interface class identifiers and the two hot-plug operations.

#include <array>
#include <cstdint>
#include <string>

namespace kalvort {

// A 16-byte interface class identifier in its stored byte order (the first three groups
// little-endian).
struct TGUID {
  std::array<uint8_t, 16> bytes{};
  bool IsNull() const {
    for (uint8_t b : bytes)
      if (b) return false;
    return true;
  }
  friend bool operator==(const TGUID &, const TGUID &) = default;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal, either case) to the stored bytes.
bool ParseGUID(const std::string &text, TGUID &guid);
// The stored bytes as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string FormatGUID(const TGUID &guid);

enum TDeviceOperation : int32_t { doInsert = 0, doRemove = 1 };

// {3F8A61C2-9B4E-4D17-A0C5-52E7B9D4116F}: the USB programmer's device interface class.
inline constexpr TGUID kUsbProgrammerClassGUID{{0xC2, 0x61, 0x8A, 0x3F, 0x4E, 0x9B, 0x17, 0x4D, 0xA0,
                                                0xC5, 0x52, 0xE7, 0xB9, 0xD4, 0x11, 0x6F}};

}  // namespace kalvort
