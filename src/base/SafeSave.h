#pragma once
// Saving files without ever destroying the previous good copy: the bytes go to a temporary file
// with a unique name in the target's folder, are flushed to the disk, and only then is the
// temporary renamed over the target and the folder flushed. On any failure the target is
// untouched and the temporary file is removed. A file that is replaced keeps its permission bits;
// a new file gets the ones the umask leaves of 0666.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kalvort {

// One file. The path a user named may be a symbolic link: the file it points to is replaced.
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

// Many files replaced together, all or nothing: each file is written to its own temporary file
// without a flush; Commit then flushes them all at once, renames every one over its target,
// removes the files named by Remove and flushes each folder once. When any step fails before the
// last rename, every target and every removed file is put back as it was.
//
// The paths are taken as they are: a symbolic link at a target is replaced by the regular file
// (never written through), and a target that is a folder fails the commit before anything changes.
// A regular file that already holds exactly the new bytes is left as it is, time stamps and all:
// writing a folder again over itself changes nothing on the disk.
class TSafeFileSet {
 public:
  TSafeFileSet() = default;
  ~TSafeFileSet();  // not committed: every temporary file is removed, nothing else changes
  TSafeFileSet(const TSafeFileSet &) = delete;
  TSafeFileSet &operator=(const TSafeFileSet &) = delete;

  // Starts the temporary file of the next target; Write appends to it and End closes it.
  bool Begin(const std::filesystem::path &path);
  bool Write(const void *data, size_t size);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  bool End();
  bool Add(const std::filesystem::path &path, std::string_view bytes) { return Begin(path) && Write(bytes) && End(); }
  // The file (or link) at `path` is removed by Commit; a path that does not exist then is skipped.
  void Remove(const std::filesystem::path &path);

  bool Commit();
  void Cancel();

  const std::string &Error() const { return error_; }

 private:
  struct Item {
    std::filesystem::path target;
    std::filesystem::path temp;
    std::filesystem::path backup;  // the previous file while the commit runs
    bool remove = false;
    bool unchanged = false;  // the target already holds these bytes
    bool existed = false;
    bool done = false;
  };
  void Compare(const void *data, size_t size);
  bool Fail(const std::string &what, int err);
  bool Flush();
  void RollBack();

  std::vector<Item> items_;
  int fd_ = -1;  // the temporary file being written
  // The regular file the temporary file is to replace, read alongside while its bytes match.
  int compare_fd_ = -1;
  uint64_t compare_size_ = 0, compared_ = 0;
  std::vector<char> compare_buffer_;
  std::string error_;
};

// A folder that does not exist yet, written whole: its files go straight into a hidden folder
// beside it (no temporary file each, no renames), are flushed together, and Commit renames the
// hidden folder into place. Until then the folder does not exist; a failure or a crash never
// leaves part of it. Paths given to Begin and Add lie in Path().
class TSafeNewFolder {
 public:
  TSafeNewFolder() = default;
  ~TSafeNewFolder();  // not committed: the hidden folder and its files are removed
  TSafeNewFolder(const TSafeNewFolder &) = delete;
  TSafeNewFolder &operator=(const TSafeNewFolder &) = delete;

  // Creates the hidden folder beside `dir`, whose parent must exist.
  bool Open(const std::filesystem::path &dir);
  const std::filesystem::path &Path() const { return temp_; }
  bool Begin(const std::filesystem::path &path);
  bool Write(const void *data, size_t size);
  bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }
  bool End();
  bool Add(const std::filesystem::path &path, std::string_view bytes) { return Begin(path) && Write(bytes) && End(); }
  void Remove(const std::filesystem::path &) {}  // a new folder holds nothing to remove
  bool Commit();
  void Cancel();

  const std::string &Error() const { return error_; }

 private:
  bool Fail(const std::string &what, int err);

  std::filesystem::path target_;
  std::filesystem::path temp_;
  std::vector<std::filesystem::path> files_;
  int fd_ = -1;
  std::string error_;
};

// Reads a whole regular file, at most `max_size` bytes (a larger file fails with EFBIG).
// Failures are returned, never thrown; `error` gets the reason.
bool ReadWholeFile(const std::filesystem::path &path, std::string &out, size_t max_size = size_t(1) << 30,
                   std::string *error = nullptr);
bool ReadWholeFile(const std::filesystem::path &path, std::vector<uint8_t> &out, size_t max_size = size_t(1) << 30,
                   std::string *error = nullptr);

// Writes `bytes` as the whole new content of `path`; see TSafeFile.
bool SafeSaveFile(const std::filesystem::path &path, std::string_view bytes, std::string *error = nullptr);

}  // namespace kalvort
