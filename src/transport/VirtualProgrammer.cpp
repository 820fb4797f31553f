#include "transport/VirtualProgrammer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/Log.h"
#include "base/SafeSave.h"
#include "transport/HotPlugHub.h"

namespace kalvort {

namespace {

std::string errnoText(const std::string &what) { return what + ": " + std::strerror(errno); }

// Saves replace the file (rename), so the inode tells a new save apart even when the clock's
// granularity gives it the same modification time.
bool statFile(const std::string &path, TFileIdentity &id) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  id.inode = static_cast<uint64_t>(st.st_ino);
  id.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool readWholeFile(const std::string &path, size_t expected, std::vector<uint8_t> &bytes,
                   std::string &error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errnoText("cannot open " + path);
    return false;
  }
  bytes.assign(expected, 0);
  size_t got = 0;
  bool ok = true;
  while (got < expected) {
    const ssize_t n = ::read(fd, bytes.data() + got, expected - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    got += static_cast<size_t>(n);
  }
  // One byte more means the file grew beyond the module.
  uint8_t extra;
  if (ok && ::read(fd, &extra, 1) != 0) ok = false;
  ::close(fd);
  if (!ok) error = path + " is not a module file of " + std::to_string(expected) + " bytes";
  return ok;
}

bool writeFileSafely(const std::string &path, const std::vector<uint8_t> &bytes, std::string &error) {
  std::string reason;
  if (SafeSaveFile(path, std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()), &reason))
    return true;
  error = "cannot save " + path + ": " + reason;
  return false;
}

}  // namespace

bool ParseVirtualModuleKind(const std::string &text, int &density_index) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '8') {
    density_index = text[0] - '0';
    return true;
  }
  static const struct {
    const char *name;
    int index;
  } kinds[] = {{"500", 3}, {"2000", 5}, {"8000", 7}, {"8000new", 8}, {"none", 0}};
  for (const auto &k : kinds) {
    if (text == k.name) {
      density_index = k.index;
      return true;
    }
  }
  return false;
}

std::string DefaultVirtualModulePath() {
  std::filesystem::path base;
  const char *xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char *home = std::getenv("HOME");
    base = std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
  }
  return (base / "kalvort" / "virtual-module.bin").string();
}

bool VirtualProgrammerConfigFromEnvironment(TVirtualProgrammerConfig &config, std::string &error) {
  TVirtualProgrammerConfig c = config;
  const char *file = std::getenv("KALVORT_VIRTUAL_MODULE");
  c.module_file = file && *file ? std::string(file) : DefaultVirtualModulePath();
  if (const char *kind = std::getenv("KALVORT_VIRTUAL_KIND"); kind && *kind) {
    if (!ParseVirtualModuleKind(kind, c.density_index)) {
      error = std::string("KALVORT_VIRTUAL_KIND=") + kind +
              ": expected 0..8, 500, 2000, 8000, 8000new or none";
      return false;
    }
  }
  if (const char *firmware = std::getenv("KALVORT_VIRTUAL_FIRMWARE"); firmware && *firmware) {
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(firmware, &end, 10);
    if (errno != 0 || *end != '\0' || v < 0 || v > 255 || !std::isdigit(static_cast<unsigned char>(*firmware))) {
      error = std::string("KALVORT_VIRTUAL_FIRMWARE=") + firmware + ": expected a firmware byte 0..255";
      return false;
    }
    c.version = static_cast<uint8_t>(v);
  }
  config = c;
  return true;
}

TVirtualProgrammer::TVirtualProgrammer(const TVirtualProgrammerConfig &config)
    : config_(config), module_(config.density_index) {}

std::unique_ptr<TVirtualProgrammer> TVirtualProgrammer::Create(
    const TVirtualProgrammerConfig &config, std::string &error) {
  if (config.density_index < 0 || config.density_index > 8) {
    error = "virtual programmer: no module kind " + std::to_string(config.density_index);
    return nullptr;
  }
  std::unique_ptr<TVirtualProgrammer> p(new TVirtualProgrammer(config));
  const std::string &path = config.module_file;
  // Without a module (or a file) there are no bytes to keep.
  if (path.empty() || config.density_index == 0) return p;

  const size_t size = static_cast<size_t>(p->module_.Geometry().size());
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, size, bytes, error) || !p->module_.SetContents(bytes)) {
      // Shown to the user as is: the file exists but does not hold this kind of module.
      error = "Файл модуля виртуального программатора имеет неверный размер: " + path;
      return nullptr;
    }
  } else {
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    if (!writeFileSafely(path, std::vector<uint8_t>(size, 0xFF), error)) {
      error = "virtual programmer: " + error;
      return nullptr;
    }
  }
  p->saved_generation_ = p->module_.Generation();
  statFile(path, p->file_);
  return p;
}

TVirtualProgrammer::~TVirtualProgrammer() {
  std::lock_guard lock(mutex_);
  std::string error;
  if (!saveLocked(error)) LogMessage(LogLevel::Warning, error);
}

bool TVirtualProgrammer::readyForIo() const { return plugged_ && open_; }

bool TVirtualProgrammer::saveLocked(std::string &error) {
  if (config_.module_file.empty() || config_.density_index == 0) return true;
  const uint64_t generation = module_.Generation();
  if (generation == saved_generation_) return true;
  const std::vector<uint8_t> bytes = module_.Contents();
  // A pulled or swapped module has nothing of the file's size to keep.
  if (bytes.size() != file_.size) return true;
  if (!writeFileSafely(config_.module_file, bytes, error)) return false;
  saved_generation_ = generation;
  statFile(config_.module_file, file_);
  return true;
}

void TVirtualProgrammer::reloadIfChangedLocked() {
  if (config_.module_file.empty() || config_.density_index == 0) return;
  if (module_.Generation() != saved_generation_) return;  // our own changes come first
  TFileIdentity now;
  if (!statFile(config_.module_file, now) || now == file_) return;
  std::vector<uint8_t> bytes;
  std::string error;
  const size_t expected = static_cast<size_t>(module_.Geometry().size());
  if (now.size != expected || !readWholeFile(config_.module_file, expected, bytes, error)) return;
  if (!module_.SetContents(bytes)) return;
  saved_generation_ = module_.Generation();
  file_ = now;
}

bool TVirtualProgrammer::InitUSB() {
  std::lock_guard lock(mutex_);
  if (!plugged_) return false;
  if (!open_) reloadIfChangedLocked();
  open_ = true;
  return true;
}

void TVirtualProgrammer::CloseUSB() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  open_ = false;
  reply_pending_ = false;
  module_.Stop();
  std::string error;
  if (!saveLocked(error)) LogMessage(LogLevel::Warning, error);
}

void TVirtualProgrammer::FlashUSB() {
  std::lock_guard lock(mutex_);
  if (!readyForIo()) return;
  module_.Stop();
}

bool TVirtualProgrammer::Read_SMP_config_byte(uint8_t &status, uint8_t &version, bool &present) {
  std::lock_guard lock(mutex_);
  if (!readyForIo()) return false;
  version = config_.version;
  present = module_.Present();
  status = module_.StatusByte();
  return true;
}

bool TVirtualProgrammer::SetReadSMP(uint8_t slot, uint32_t flash_address) {
  std::lock_guard lock(mutex_);
  if (!readyForIo() || slot != 0) return false;
  reply_pending_ = false;
  return module_.SetReadAddress(flash_address & 0xFFFFFFu);
}

bool TVirtualProgrammer::SetWriteSMP(uint8_t slot, uint32_t address) {
  std::lock_guard lock(mutex_);
  if (!readyForIo() || slot != 0) return false;
  return module_.SetWriteAddress(address);
}

bool TVirtualProgrammer::ClearSMP(uint8_t slot, uint16_t first, uint16_t count) {
  std::lock_guard lock(mutex_);
  if (!readyForIo() || slot != 0) return false;
  return module_.EraseBlocks(first, count);
}

bool TVirtualProgrammer::SetSmpBufSize(uint8_t slot, uint16_t size) {
  std::lock_guard lock(mutex_);
  if (!readyForIo() || slot != 0) return false;
  return module_.SetBufferSize(size);
}

bool TVirtualProgrammer::ReadUSBData(uint8_t *buffer, uint32_t length, uint32_t &transferred) {
  transferred = 0;
  std::lock_guard lock(mutex_);
  if (!readyForIo() || !buffer) return false;
  if (reply_pending_) {
    reply_pending_ = false;
    transferred = length < kUsbVersionReplySize ? length : kUsbVersionReplySize;
    std::memcpy(buffer, reply_, transferred);
    return true;
  }
  if (!module_.Read(buffer, length)) return false;
  transferred = length;
  return true;
}

bool TVirtualProgrammer::WriteUSBData(const uint8_t *buffer, uint32_t length,
                                      uint32_t &transferred) {
  transferred = 0;
  std::lock_guard lock(mutex_);
  if (!readyForIo() || !buffer) return false;
  if (!module_.Write(buffer, length)) return false;
  transferred = length;
  return true;
}

bool TVirtualProgrammer::WriteUSBComand(const uint8_t *record, uint32_t length,
                                        uint32_t &transferred) {
  transferred = 0;
  std::lock_guard lock(mutex_);
  if (!readyForIo() || !record || length != kUsbCommandSize) return false;
  switch (record[0]) {
    case ciGetVersion:
      std::memset(reply_, 0, sizeof reply_);
      for (int i = 0; i < 4; ++i) reply_[i] = static_cast<uint8_t>(config_.full_version >> (8 * i));
      reply_pending_ = true;
      break;
    case ciBootMode:
      // There is no boot loader to enter: the command is acknowledged and changes nothing.
      break;
    default:
      return false;
  }
  transferred = length;
  return true;
}

bool TVirtualProgrammer::AbortIO() {
  std::lock_guard lock(mutex_);
  if (!readyForIo()) return false;
  module_.Stop();
  return true;
}

bool TVirtualProgrammer::StoreChanges() {
  std::string error;
  if (Save(error)) return true;
  LogMessage(LogLevel::Warning, error);
  return false;
}

void TVirtualProgrammer::PlugIn() {
  {
    std::lock_guard lock(mutex_);
    if (plugged_) return;
    plugged_ = true;
  }
  THotPlugHub::Instance().Broadcast(config_.class_guid, doInsert);
}

void TVirtualProgrammer::PlugOut() {
  {
    std::lock_guard lock(mutex_);
    if (!plugged_) return;
    plugged_ = false;
    open_ = false;
    reply_pending_ = false;
    module_.Stop();
    std::string error;
    if (!saveLocked(error)) LogMessage(LogLevel::Warning, error);
  }
  THotPlugHub::Instance().Broadcast(config_.class_guid, doRemove);
}

bool TVirtualProgrammer::Plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

bool TVirtualProgrammer::Save(std::string &error) {
  std::lock_guard lock(mutex_);
  return saveLocked(error);
}

}  // namespace kalvort
