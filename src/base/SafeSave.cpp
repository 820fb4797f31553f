#include "base/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <random>
#include <system_error>

namespace kalvort {

namespace {

std::string SystemError(int err) { return std::strerror(err); }

std::filesystem::path FolderOf(const std::filesystem::path &path) {
  std::filesystem::path dir = path.parent_path();
  return dir.empty() ? std::filesystem::path(".") : dir;
}

// Resolves a symbolic link so that saving replaces the file it points to, not the link.
std::filesystem::path ResolveTarget(const std::filesystem::path &path) {
  std::error_code ec;
  std::filesystem::path p = path;
  for (int depth = 0; depth < 16 && std::filesystem::is_symlink(p, ec); ++depth) {
    auto link = std::filesystem::read_symlink(p, ec);
    if (ec) break;
    p = link.is_absolute() ? link : p.parent_path() / link;
  }
  return p;
}

// A name beside `target` that no other save uses: hidden, with the process id, a counter and a
// random part, so that two processes saving the same file never meet.
std::filesystem::path UniqueName(const std::filesystem::path &target, const char *suffix) {
  static std::atomic<unsigned> counter{0};
  static const std::string pid = std::to_string(::getpid());
  thread_local std::minstd_rand random(std::random_device{}());
  return FolderOf(target) / ("." + target.filename().string() + "." + pid + "." +
                             std::to_string(counter++) + "." + std::to_string(random() % 100000) + suffix);
}

// Creates the temporary file for `target`; -1 with errno on failure. The file gets 0666 under the
// umask, as any new file, or the permission bits of the regular file it is to replace.
int CreateTemp(const std::filesystem::path &target, bool follow_link, std::filesystem::path &temp) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp = UniqueName(target, ".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat st {};
      const int rc = follow_link ? ::stat(target.c_str(), &st) : ::lstat(target.c_str(), &st);
      if (rc == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  temp.clear();
  return -1;
}

bool WriteAll(int fd, const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Starts the disk writes of a file just written without waiting for them, so that the flush at
// the commit finds most of them done; a set of files then costs about one wait, not one per file.
// Only a hint: the flush decides.
void StartWriteback(int fd) { ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

// Flushes one file written earlier; 0 or the error.
int SyncFile(const std::filesystem::path &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

// Makes renames and removals in `dir` durable. Best effort: the files themselves are in place.
void SyncFolder(const std::filesystem::path &dir) {
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace

// ---- TSafeFile ----

TSafeFile::~TSafeFile() { Cancel(); }

bool TSafeFile::Fail(const std::string &what) {
  const int err = errno;
  error_ = what + ": " + SystemError(err);
  Cancel();
  return false;
}

bool TSafeFile::Open(const std::filesystem::path &path) {
  Cancel();
  error_.clear();
  target_ = ResolveTarget(path);
  fd_ = CreateTemp(target_, true, temp_);
  if (fd_ < 0) return Fail("cannot create a file in " + FolderOf(target_).string());
  return true;
}

bool TSafeFile::Write(const void *data, size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return Fail("write");
  }
  if (!WriteAll(fd_, data, size)) return Fail("cannot write " + temp_.string());
  return true;
}

bool TSafeFile::Commit() {
  if (fd_ < 0) {
    errno = EBADF;
    return Fail("commit");
  }
  if (::fsync(fd_) != 0) return Fail("cannot flush " + temp_.string());
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail("cannot close " + temp_.string());
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot replace " + target_.string());
  temp_.clear();
  SyncFolder(FolderOf(target_));
  return true;
}

void TSafeFile::Cancel() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

// ---- TSafeFileSet ----

TSafeFileSet::~TSafeFileSet() { Cancel(); }

bool TSafeFileSet::Fail(const std::string &what, int err) {
  error_ = what + ": " + SystemError(err);
  Cancel();
  return false;
}

bool TSafeFileSet::Begin(const std::filesystem::path &path) {
  if (fd_ >= 0) return Fail("cannot start " + path.string(), EBUSY);
  Item item;
  item.target = path;
  fd_ = CreateTemp(path, false, item.temp);
  if (fd_ < 0) return Fail("cannot create a file in " + FolderOf(path).string(), errno);
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    compare_fd_ = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    compare_size_ = static_cast<uint64_t>(st.st_size);
    compared_ = 0;
  }
  try {
    items_.push_back(std::move(item));
  } catch (const std::bad_alloc &) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(item.temp.c_str());
    return Fail("cannot start " + path.string(), ENOMEM);
  }
  return true;
}

// Reads the same stretch of the file to be replaced; the first difference ends the comparison.
void TSafeFileSet::Compare(const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  try {
    if (compare_buffer_.empty()) compare_buffer_.resize(size_t{1} << 16);
  } catch (const std::bad_alloc &) {
    compare_buffer_.clear();  // not compared: the file is written as a new one
  }
  if (compare_buffer_.empty()) {
    ::close(compare_fd_);
    compare_fd_ = -1;
  }
  while (compare_fd_ >= 0 && size > 0) {
    const size_t n = std::min(size, compare_buffer_.size());
    if (compared_ + n > compare_size_ ||
        ::pread(compare_fd_, compare_buffer_.data(), n, static_cast<off_t>(compared_)) != static_cast<ssize_t>(n) ||
        std::memcmp(compare_buffer_.data(), p, n) != 0) {
      ::close(compare_fd_);
      compare_fd_ = -1;
      break;
    }
    compared_ += n;
    p += n;
    size -= n;
  }
}

bool TSafeFileSet::Write(const void *data, size_t size) {
  if (fd_ < 0) return Fail("write", EBADF);
  if (!WriteAll(fd_, data, size)) return Fail("cannot write " + items_.back().temp.string(), errno);
  if (compare_fd_ >= 0) Compare(data, size);
  return true;
}

bool TSafeFileSet::End() {
  if (fd_ < 0) return Fail("close", EBADF);
  const int fd = fd_;
  fd_ = -1;
  // A temporary file that turns out to hold the target's bytes is removed unflushed: the disk
  // need not see it at all.
  if (compare_fd_ < 0 || compared_ != compare_size_) StartWriteback(fd);
  if (::close(fd) != 0) return Fail("cannot close " + items_.back().temp.string(), errno);
  if (compare_fd_ >= 0) {
    ::close(compare_fd_);
    compare_fd_ = -1;
    if (compared_ == compare_size_) {  // the same bytes: the file stays as it is
      Item &item = items_.back();
      ::unlink(item.temp.c_str());
      item.temp.clear();
      item.unchanged = true;
    }
  }
  return true;
}

void TSafeFileSet::Remove(const std::filesystem::path &path) {
  Item item;
  item.target = path;
  item.remove = true;
  items_.push_back(std::move(item));
}

// Flushes exactly the temporary files of the set, nothing else of the file system: their writes
// were started as each was closed, so the waits overlap.
bool TSafeFileSet::Flush() {
  for (const auto &item : items_) {
    if (item.temp.empty()) continue;
    if (const int err = SyncFile(item.temp)) return Fail("cannot flush " + item.temp.string(), err);
  }
  return true;
}

bool TSafeFileSet::Commit() {
  if (fd_ >= 0) return Fail("commit", EBUSY);
  if (!Flush()) return false;
  // Every target is looked at before anything changes: a folder in the way fails the whole set.
  for (auto &item : items_) {
    if (item.unchanged) continue;
    struct stat st {};
    if (::lstat(item.target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return Fail("cannot replace " + item.target.string(), EISDIR);
      item.existed = true;
    } else if (errno != ENOENT) {
      return Fail("cannot replace " + item.target.string(), errno);
    }
  }
  // The previous files stay reachable under a second name until every rename is done. A file
  // that is replaced gets a hard link, so that it never disappears from its place; a file to be
  // removed (or one on a file system without hard links) is moved aside.
  for (auto &item : items_) {
    if (!item.existed) continue;
    bool kept = false;
    if (!item.remove) {
      for (int attempt = 0; attempt < 100 && !kept; ++attempt) {
        item.backup = UniqueName(item.target, ".old");
        kept = ::linkat(AT_FDCWD, item.target.c_str(), AT_FDCWD, item.backup.c_str(), 0) == 0;
        if (!kept && errno != EEXIST) break;
      }
    }
    if (!kept) {
      item.backup = UniqueName(item.target, ".old");
      if (::rename(item.target.c_str(), item.backup.c_str()) != 0) {
        const int err = errno;
        item.backup.clear();
        RollBack();
        return Fail("cannot replace " + item.target.string(), err);
      }
    }
  }
  for (auto &item : items_) {
    if (item.unchanged) continue;
    if (!item.remove && ::rename(item.temp.c_str(), item.target.c_str()) != 0) {
      const int err = errno;
      RollBack();
      return Fail("cannot replace " + item.target.string(), err);
    }
    item.temp.clear();
    item.done = true;
  }
  std::vector<std::filesystem::path> folders;
  for (const auto &item : items_) {
    if (!item.backup.empty()) ::unlink(item.backup.c_str());
    const auto dir = FolderOf(item.target);
    if (std::find(folders.begin(), folders.end(), dir) == folders.end()) folders.push_back(dir);
  }
  for (const auto &dir : folders) SyncFolder(dir);
  items_.clear();
  return true;
}

// Puts every previous file back in its place and removes the new ones that had none.
void TSafeFileSet::RollBack() {
  for (auto &item : items_) {
    if (!item.backup.empty()) {
      ::rename(item.backup.c_str(), item.target.c_str());
      item.backup.clear();
    } else if (item.done && !item.existed) {
      ::unlink(item.target.c_str());
    }
    item.done = false;
  }
}

void TSafeFileSet::Cancel() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (compare_fd_ >= 0) {
    ::close(compare_fd_);
    compare_fd_ = -1;
  }
  RollBack();
  for (const auto &item : items_)
    if (!item.temp.empty()) ::unlink(item.temp.c_str());
  items_.clear();
}

// ---- TSafeNewFolder ----

TSafeNewFolder::~TSafeNewFolder() { Cancel(); }

bool TSafeNewFolder::Fail(const std::string &what, int err) {
  error_ = what + ": " + SystemError(err);
  Cancel();
  return false;
}

bool TSafeNewFolder::Open(const std::filesystem::path &dir) {
  Cancel();
  error_.clear();
  target_ = dir.has_filename() ? dir : dir.parent_path();  // "shop/" is the folder "shop"
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = UniqueName(target_, ".new");
    if (::mkdir(temp_.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) break;
  }
  const int err = errno;
  temp_.clear();
  return Fail("cannot create " + dir.string(), err);
}

bool TSafeNewFolder::Begin(const std::filesystem::path &path) {
  if (fd_ >= 0 || temp_.empty()) return Fail("cannot start " + path.string(), EBADF);
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd_ < 0) return Fail("cannot create " + path.string(), errno);
  try {
    files_.push_back(path);
  } catch (const std::bad_alloc &) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(path.c_str());
    return Fail("cannot start " + path.string(), ENOMEM);
  }
  return true;
}

bool TSafeNewFolder::Write(const void *data, size_t size) {
  if (fd_ < 0) return Fail("write", EBADF);
  if (!WriteAll(fd_, data, size)) return Fail("cannot write " + files_.back().string(), errno);
  return true;
}

bool TSafeNewFolder::End() {
  if (fd_ < 0) return Fail("close", EBADF);
  const int fd = fd_;
  fd_ = -1;
  StartWriteback(fd);
  if (::close(fd) != 0) return Fail("cannot close " + files_.back().string(), errno);
  return true;
}

bool TSafeNewFolder::Commit() {
  if (fd_ >= 0 || temp_.empty()) return Fail("commit", EBADF);
  // Each file written and the folder itself, nothing else of the file system.
  for (const auto &file : files_)
    if (const int err = SyncFile(file)) return Fail("cannot flush " + file.string(), err);
  SyncFolder(temp_);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return Fail("cannot create " + target_.string(), errno);
  temp_.clear();
  files_.clear();
  SyncFolder(FolderOf(target_));
  return true;
}

void TSafeNewFolder::Cancel() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  for (const auto &file : files_) ::unlink(file.c_str());
  files_.clear();
  if (!temp_.empty()) {
    ::rmdir(temp_.c_str());
    temp_.clear();
  }
}

namespace {

template <typename Buffer>
bool ReadWhole(const std::filesystem::path &path, Buffer &out, size_t max_size, std::string *error) {
  auto fail = [&](int err) {
    if (error) *error = path.string() + ": " + SystemError(err);
    return false;
  };
  // Without waiting: opening a FIFO for reading would block until a writer comes.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return fail(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (error) *error = path.string() + ": not a regular file";
    return false;
  }
  if (static_cast<unsigned long long>(st.st_size) > max_size) {
    ::close(fd);
    return fail(EFBIG);
  }
  Buffer data;
  try {
    data.resize(static_cast<size_t>(st.st_size));
  } catch (const std::bad_alloc &) {
    ::close(fd);
    return fail(ENOMEM);
  }
  size_t got = 0;
  while (got < data.size()) {
    const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return fail(err);
    }
    if (n == 0) break;  // the file shrank meanwhile
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  out = std::move(data);
  return true;
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path &path, std::string &out, size_t max_size, std::string *error) {
  return ReadWhole(path, out, max_size, error);
}

bool ReadWholeFile(const std::filesystem::path &path, std::vector<uint8_t> &out, size_t max_size,
                   std::string *error) {
  return ReadWhole(path, out, max_size, error);
}

bool SafeSaveFile(const std::filesystem::path &path, std::string_view bytes, std::string *error) {
  TSafeFile file;
  const bool ok = file.Open(path) && file.Write(bytes) && file.Commit();
  if (!ok && error) *error = file.Error();
  return ok;
}

}  // namespace kalvort
