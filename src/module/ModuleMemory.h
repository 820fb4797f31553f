#pragma once
// A memory module as the hardware behind a controller or a USB programmer sees it: pages of one
// geometry row, erased bytes 0xFF, erase blocks of 8 pages, programming that can only clear bits,
// a sequential reader started at a flash address (page << page_bits | offset) and a sequential
// page writer started at a linear address (page * page_size). After an erase or a write the module
// is busy for a configurable time: its status byte reports "not ready" and the next operation waits
// for the cycle to end, as the controller does.
//
// Faults can be injected: an operation that fails, a module that is pulled (now or after some
// operations), a byte that reads back wrong, and a module that never reports ready.
//
// Thread-safe: every member takes one mutex, so a controller thread, a device worker and a test
// can share one module.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "module/ModuleStatus.h"

namespace kalvort::sim {

enum class ModuleOp : int {
  SetReadAddress = 0,
  Read,
  SetWriteAddress,
  Write,
  Erase,
  SetBufferSize,
  Count_,
};

class ModuleMemory {
 public:
  inline static constexpr int kPagesPerEraseBlock = 8;
  inline static constexpr uint8_t kErased = 0xFF;

  // A fresh, erased module of geometry row `density_index` (1..8); 0 gives an empty slot.
  explicit ModuleMemory(int density_index = 3);
  ModuleMemory(const ModuleMemory &) = delete;
  ModuleMemory &operator=(const ModuleMemory &) = delete;

  // --- What the module reports ---
  bool Present() const;
  int DensityIndex() const;          // 0 when no module is present
  ModuleGeometry Geometry() const;   // row of DensityIndex()
  bool Ready() const;                // no erase or programming cycle running
  uint8_t StatusByte() const;        // ready bit and density index; index 0 when no module

  // --- Plugging ---
  // Puts in a fresh erased module of row `density_index` (0 = leave the slot empty); ends any
  // sequential read or write and every pending removal.
  void Insert(int density_index);
  void Remove();

  // --- Busy periods (both 0 by default) ---
  void SetBusyTimes(std::chrono::microseconds per_erase_block, std::chrono::microseconds per_write);

  // --- Operations: false when no module is present, the address or length is outside the module,
  // nothing was started, or a failure was injected. Each waits for a running busy cycle first.
  bool SetReadAddress(uint32_t flash_address);
  // Reads `len` bytes from the read position on, crossing page ends and wrapping at the module's
  // end as a continuous read does.
  bool Read(uint8_t *buf, size_t len);
  bool SetWriteAddress(uint32_t linear_address);
  // Programs `len` bytes from the write position on (each byte := old AND new) and moves the
  // position on; fails without writing when the bytes would run past the module's end.
  bool Write(const uint8_t *data, size_t len);
  bool EraseBlocks(uint32_t first_block, uint32_t count);
  bool SetBufferSize(uint32_t size);
  // Ends the sequential read and write: a read or write needs a new address afterwards.
  void Stop();

  // --- Direct access (tests, image files) ---
  std::vector<uint8_t> Contents() const;  // empty when no module
  // Replaces the module's bytes with `bytes` (shorter: the rest erased); false when no module is
  // present or `bytes` is longer than the module.
  bool SetContents(const std::vector<uint8_t> &bytes);
  // Bytes of a file of exactly the module's size; false (module unchanged) otherwise.
  bool LoadFile(const std::string &path);
  // Saves the bytes through SafeSaveFile (the previous file survives any failure).
  bool SaveFile(const std::string &path) const;
  // Raised by every change of the module's bytes (write, erase, insert, SetContents).
  uint64_t Generation() const;
  uint64_t OperationCount(ModuleOp op) const;
  uint32_t BufferSize() const;

  // --- Faults ---
  // Lets `after` further calls of `op` pass, then fails the next `times` calls (negative: all).
  void FailOperation(ModuleOp op, int after = 0, int times = 1);
  // After `operations` more operations of any kind the module is pulled out.
  void RemoveAfterOperations(int operations);
  // Reading the byte at linear address `address` gives `value`; the stored byte is untouched.
  void CorruptByte(uint32_t address, uint8_t value);
  // The module never reports ready (operations still work).
  void SetStuckBusy(bool stuck);
  void ClearFaults();

 private:
  using Clock = std::chrono::steady_clock;
  struct Failure {
    int skip = 0;
    int fail = 0;  // negative: every call
  };

  // Waits for the busy cycle, counts the operation, applies injected faults; false = fail.
  bool beginOperation(std::unique_lock<std::mutex> &lock, ModuleOp op);
  void resetModule(int density_index);
  uint32_t sizeLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable busy_cv_;
  int index_ = 0;
  std::vector<uint8_t> bytes_;
  bool reading_ = false;
  uint32_t read_pos_ = 0;
  bool writing_ = false;
  uint32_t write_pos_ = 0;
  uint32_t buffer_size_ = 0;
  uint64_t generation_ = 0;
  Clock::time_point busy_until_{};
  std::chrono::microseconds erase_busy_{0};
  std::chrono::microseconds write_busy_{0};
  uint64_t op_count_[static_cast<int>(ModuleOp::Count_)] = {};
  Failure failures_[static_cast<int>(ModuleOp::Count_)] = {};
  int remove_after_ = -1;
  std::map<uint32_t, uint8_t> corrupt_;
  bool stuck_busy_ = false;
};

}  // namespace kalvort::sim
