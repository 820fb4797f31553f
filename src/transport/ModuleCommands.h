#pragma once
// Module command codes (the com_id byte of the 16-byte module command record) shared by both
// transports: the USB programmer sends the record with WriteUSBComand, the network controller
// inside a ctModule message.

#include <cstdint>

namespace kalvort {

enum TModuleCommand : uint8_t {
  ciReadConfig = 1,
  ciSetBufferSize = 2,
  ciSetWriteAddr = 4,
  ciSetReadAddr = 5,
  ciEraseBlocks = 7,
  ciStopReadWrite = 9,
  ciBootMode = 21,
  ciGetVersion = 100,
};

// Size of the module command record.
inline constexpr uint32_t kModuleCommandSize = 16;

}  // namespace kalvort
