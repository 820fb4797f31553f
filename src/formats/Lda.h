#pragma once
// LDA load stream: data blocks (01 00, count = data + 7, load address, data, checksum) that place
// bytes into an 8192-byte memory, closed by an end block (count 6).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kalvort {

inline constexpr std::size_t kLdaMemorySize = 8192;
inline constexpr std::size_t kLdaMaxBlockSize = 8192;

// Appends the stream of `source` to `dest`: blocks of up to `blockSize` bytes from `address` (its
// low 16 bits) on, each after two 0x00 bytes, then five 0x00 bytes and the end block. False,
// writing nothing, when `blockSize` is outside 1..8192.
bool SaveLDA(std::span<const std::uint8_t> source, std::vector<std::uint8_t> &dest,
             std::uint32_t address, std::size_t blockSize);

// Loads a stream into an 8192-byte memory (uncovered bytes are 0x00) and appends memory bytes
// 0 up to the end of the last data block read to `dest`; `startAddress` is the first block's
// address (low 13 bits). False, appending nothing, on a stream without end block, a short block,
// a count below 6, a checksum mismatch, or a block that reaches past the memory.
bool LoadLDA(std::span<const std::uint8_t> source, std::vector<std::uint8_t> &dest,
             int &startAddress);

}  // namespace kalvort
