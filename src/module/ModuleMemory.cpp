#include "module/ModuleMemory.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/SafeSave.h"

namespace kalvort::sim {

ModuleMemory::ModuleMemory(int density_index) { resetModule(density_index); }

void ModuleMemory::resetModule(int density_index) {
  if (density_index < 0 || density_index >= kModuleDensityIndexCount) density_index = 0;
  index_ = density_index;
  bytes_.assign(index_ ? static_cast<size_t>(ModuleGeometryRow(index_).size()) : 0, kErased);
  reading_ = writing_ = false;
  read_pos_ = write_pos_ = 0;
  busy_until_ = Clock::time_point{};
  remove_after_ = -1;
  ++generation_;
}

uint32_t ModuleMemory::sizeLocked() const { return static_cast<uint32_t>(bytes_.size()); }

bool ModuleMemory::Present() const {
  std::lock_guard lock(mutex_);
  return index_ != 0;
}

int ModuleMemory::DensityIndex() const {
  std::lock_guard lock(mutex_);
  return index_;
}

ModuleGeometry ModuleMemory::Geometry() const {
  std::lock_guard lock(mutex_);
  return ModuleGeometryRow(index_);
}

bool ModuleMemory::Ready() const {
  std::lock_guard lock(mutex_);
  return index_ != 0 && !stuck_busy_ && Clock::now() >= busy_until_;
}

uint8_t ModuleMemory::StatusByte() const {
  std::lock_guard lock(mutex_);
  const bool ready = index_ != 0 && !stuck_busy_ && Clock::now() >= busy_until_;
  return EncodeModuleStatus(index_, ready);
}

void ModuleMemory::Insert(int density_index) {
  std::lock_guard lock(mutex_);
  resetModule(density_index);
  busy_cv_.notify_all();
}

void ModuleMemory::Remove() { Insert(0); }

void ModuleMemory::SetBusyTimes(std::chrono::microseconds per_erase_block,
                                std::chrono::microseconds per_write) {
  std::lock_guard lock(mutex_);
  erase_busy_ = std::max(per_erase_block, std::chrono::microseconds{0});
  write_busy_ = std::max(per_write, std::chrono::microseconds{0});
}

bool ModuleMemory::beginOperation(std::unique_lock<std::mutex> &lock, ModuleOp op) {
  // A new operation waits for the running erase or programming cycle, like the controller does.
  // Insert/Remove reset busy_until_ and wake us.
  while (index_ != 0 && Clock::now() < busy_until_) busy_cv_.wait_until(lock, busy_until_);
  ++op_count_[static_cast<int>(op)];
  if (remove_after_ >= 0) {
    if (remove_after_ == 0) {
      resetModule(0);
      return false;
    }
    --remove_after_;
  }
  if (index_ == 0) return false;
  Failure &f = failures_[static_cast<int>(op)];
  if (f.skip > 0) {
    --f.skip;
    return true;
  }
  if (f.fail != 0) {
    if (f.fail > 0) --f.fail;
    return false;
  }
  return true;
}

bool ModuleMemory::SetReadAddress(uint32_t flash_address) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::SetReadAddress)) return false;
  const ModuleGeometry &g = ModuleGeometryRow(index_);
  const uint32_t page = flash_address >> g.page_bits;
  const uint32_t offset = flash_address & ((1u << g.page_bits) - 1);
  if (page >= static_cast<uint32_t>(g.page_all) || offset >= static_cast<uint32_t>(g.page_size)) {
    reading_ = false;
    return false;
  }
  read_pos_ = page * static_cast<uint32_t>(g.page_size) + offset;
  reading_ = true;
  return true;
}

bool ModuleMemory::Read(uint8_t *buf, size_t len) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::Read) || !reading_) return false;
  const uint32_t size = sizeLocked();
  for (size_t i = 0; i < len; ++i) {
    auto bad = corrupt_.find(read_pos_);
    buf[i] = bad != corrupt_.end() ? bad->second : bytes_[read_pos_];
    if (++read_pos_ == size) read_pos_ = 0;
  }
  return true;
}

bool ModuleMemory::SetWriteAddress(uint32_t linear_address) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::SetWriteAddress)) return false;
  if (linear_address >= sizeLocked()) {
    writing_ = false;
    return false;
  }
  write_pos_ = linear_address;
  writing_ = true;
  return true;
}

bool ModuleMemory::Write(const uint8_t *data, size_t len) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::Write) || !writing_) return false;
  if (len > sizeLocked() - write_pos_) return false;
  for (size_t i = 0; i < len; ++i) bytes_[write_pos_ + i] &= data[i];
  write_pos_ += static_cast<uint32_t>(len);
  if (write_pos_ == sizeLocked()) writing_ = false;
  ++generation_;
  busy_until_ = Clock::now() + write_busy_;
  return true;
}

bool ModuleMemory::EraseBlocks(uint32_t first_block, uint32_t count) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::Erase)) return false;
  const ModuleGeometry &g = ModuleGeometryRow(index_);
  const uint64_t blocks = static_cast<uint64_t>(g.page_all) / kPagesPerEraseBlock;
  if (count == 0 || static_cast<uint64_t>(first_block) + count > blocks) return false;
  const size_t block_bytes = static_cast<size_t>(g.page_size) * kPagesPerEraseBlock;
  std::fill_n(bytes_.begin() + static_cast<ptrdiff_t>(first_block * block_bytes), count * block_bytes,
              kErased);
  ++generation_;
  busy_until_ = Clock::now() + erase_busy_ * count;
  return true;
}

bool ModuleMemory::SetBufferSize(uint32_t size) {
  std::unique_lock lock(mutex_);
  if (!beginOperation(lock, ModuleOp::SetBufferSize)) return false;
  buffer_size_ = size;
  return true;
}

void ModuleMemory::Stop() {
  std::lock_guard lock(mutex_);
  reading_ = writing_ = false;
}

std::vector<uint8_t> ModuleMemory::Contents() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

bool ModuleMemory::SetContents(const std::vector<uint8_t> &bytes) {
  std::lock_guard lock(mutex_);
  if (index_ == 0 || bytes.size() > bytes_.size()) return false;
  std::copy(bytes.begin(), bytes.end(), bytes_.begin());
  std::fill(bytes_.begin() + static_cast<ptrdiff_t>(bytes.size()), bytes_.end(), kErased);
  ++generation_;
  return true;
}

bool ModuleMemory::LoadFile(const std::string &path) {
  std::error_code ec;
  const auto file_size = std::filesystem::file_size(path, ec);
  if (ec) return false;
  std::lock_guard lock(mutex_);
  if (index_ == 0 || file_size != bytes_.size()) return false;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> data(bytes_.size());
  if (!in.read(reinterpret_cast<char *>(data.data()), static_cast<std::streamsize>(data.size())))
    return false;
  bytes_.swap(data);
  ++generation_;
  return true;
}

bool ModuleMemory::SaveFile(const std::string &path) const {
  const std::vector<uint8_t> data = Contents();
  return SafeSaveFile(path, std::string_view(reinterpret_cast<const char *>(data.data()), data.size()));
}

uint64_t ModuleMemory::Generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

uint64_t ModuleMemory::OperationCount(ModuleOp op) const {
  std::lock_guard lock(mutex_);
  return op_count_[static_cast<int>(op)];
}

uint32_t ModuleMemory::BufferSize() const {
  std::lock_guard lock(mutex_);
  return buffer_size_;
}

void ModuleMemory::FailOperation(ModuleOp op, int after, int times) {
  std::lock_guard lock(mutex_);
  failures_[static_cast<int>(op)] = Failure{std::max(after, 0), times};
}

void ModuleMemory::RemoveAfterOperations(int operations) {
  std::lock_guard lock(mutex_);
  remove_after_ = std::max(operations, 0);
}

void ModuleMemory::CorruptByte(uint32_t address, uint8_t value) {
  std::lock_guard lock(mutex_);
  corrupt_[address] = value;
}

void ModuleMemory::SetStuckBusy(bool stuck) {
  std::lock_guard lock(mutex_);
  stuck_busy_ = stuck;
}

void ModuleMemory::ClearFaults() {
  std::lock_guard lock(mutex_);
  for (auto &f : failures_) f = Failure{};
  remove_after_ = -1;
  corrupt_.clear();
  stuck_busy_ = false;
}

}  // namespace kalvort::sim
