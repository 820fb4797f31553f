#include "formats/Lda.h"

#include <algorithm>
#include <array>

namespace kalvort {
namespace {

constexpr std::uint8_t kBlockStart = 0x01;
constexpr std::size_t kHeaderSize = 6;  // 01, one ignored byte, count, address
constexpr unsigned kEndCount = 6;
constexpr std::uint8_t kEndBlock[] = {0x01, 0x00, 0x06, 0x00, 0x01, 0x00, 0xF8};

}  // namespace

bool SaveLDA(std::span<const std::uint8_t> source, std::vector<std::uint8_t> &dest,
             std::uint32_t address, std::size_t blockSize) {
  if (blockSize < 1 || blockSize > kLdaMaxBlockSize) return false;
  std::uint16_t current = static_cast<std::uint16_t>(address);
  std::size_t pos = 0;
  for (;;) {
    const std::size_t n = std::min(blockSize, source.size() - pos);
    if (n > 0) {
      const std::size_t count = n + 7;
      const std::uint8_t header[] = {kBlockStart,
                                     0x00,
                                     static_cast<std::uint8_t>(count),
                                     static_cast<std::uint8_t>(count >> 8),
                                     static_cast<std::uint8_t>(current),
                                     static_cast<std::uint8_t>(current >> 8)};
      dest.push_back(0x00);
      dest.push_back(0x00);
      unsigned sum = 0;
      for (std::uint8_t b : header) {
        dest.push_back(b);
        sum += b;
      }
      for (std::size_t k = 0; k < n; ++k) {
        dest.push_back(source[pos + k]);
        sum += source[pos + k];
      }
      dest.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
      current = static_cast<std::uint16_t>(current + n);
      pos += n;
    }
    if (n < blockSize) break;
  }
  dest.insert(dest.end(), 5, 0x00);
  dest.insert(dest.end(), std::begin(kEndBlock), std::end(kEndBlock));
  return true;
}

bool LoadLDA(std::span<const std::uint8_t> source, std::vector<std::uint8_t> &dest,
             int &startAddress) {
  startAddress = -1;
  std::vector<std::uint8_t> memory(kLdaMemorySize, 0x00);
  std::size_t end = 0;
  std::size_t pos = 0;
  for (;;) {
    // Anything before a block's leading 0x01 is leader and is skipped.
    while (pos < source.size() && source[pos] != kBlockStart) ++pos;
    if (source.size() - pos < kHeaderSize) return false;
    const std::uint8_t *h = source.data() + pos;
    const unsigned count = h[2] | h[3] << 8;
    const std::size_t address = (h[4] | h[5] << 8) & (kLdaMemorySize - 1);
    if (startAddress < 0) startAddress = static_cast<int>(address);
    if (count == kEndCount) {
      dest.insert(dest.end(), memory.begin(), memory.begin() + end);
      return true;
    }
    if (count < kEndCount) return false;
    const std::size_t n = count - 7;
    // The whole block, checksum included, must be in the source and its data in the memory.
    if (source.size() - pos < kHeaderSize + n + 1) return false;
    if (address + n > kLdaMemorySize) return false;
    unsigned sum = 0;
    for (std::size_t k = 0; k < kHeaderSize + n + 1; ++k) sum += h[k];
    if ((sum & 0xFF) != 0) return false;
    std::copy(h + kHeaderSize, h + kHeaderSize + n, memory.begin() + address);
    end = address + n;
    pos += kHeaderSize + n + 1;
  }
}

}  // namespace kalvort
