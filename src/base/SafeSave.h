#pragma once
// Saving a file without ever destroying the previous good copy: the bytes go to a temporary file
// in the same folder, are flushed to the disk, and only then is the temporary renamed over the
// target. On any failure the target is untouched and the temporary file is removed.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kalvort {

class TSafeFile {
 public:
  TSafeFile() = default;
  ~TSafeFile();  // a file neither committed nor cancelled is cancelled
  TSafeFile(const TSafeFile &) = delete;
  TSafeFile &operator=(const TSafeFile &) = delete;

  // Creates the temporary file beside `path` (a symbolic link is followed to its target).
  bool Open(const std::filesystem::path &path);
  bool Write(const void *data, size_t size);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  // Flushes, syncs and renames over the target. After a failure nothing of the save remains.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Cancel();

  // The reason of the last failure (system error text), empty when none.
  const std::string &Error() const { return error_; }

 private:
  bool Fail(const std::string &what);

  int fd_ = -1;
  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::string error_;
};

// Reads a whole regular file, at most `max_size` bytes (a larger file fails with EFBIG).
// Failures are returned, never thrown; `error` gets the reason.
bool ReadWholeFile(const std::filesystem::path &path, std::string &out, size_t max_size = size_t(1) << 30,
                   std::string *error = nullptr);

// Writes `bytes` as the whole new content of `path`; see TSafeFile.
bool SafeSaveFile(const std::filesystem::path &path, std::string_view bytes, std::string *error = nullptr);

}  // namespace kalvort
