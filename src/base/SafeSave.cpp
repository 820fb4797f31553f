#include "base/SafeSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <random>
#include <system_error>

namespace kalvort {

namespace {

std::string SystemError(int err) { return std::strerror(err); }

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

}  // namespace

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
  std::filesystem::path dir = target_.parent_path();
  if (dir.empty()) dir = ".";
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + target_.filename().string() + "." + std::to_string(getpid()) + "." +
                             std::to_string(counter++) + "." + std::to_string(rd() % 100000) + ".tmp";
    temp_ = dir / name;
    // 0666 under the umask, as for any new file; an existing target passes its mode on below.
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      temp_.clear();
      return Fail("cannot create a file in " + dir.string());
    }
  }
  if (fd_ < 0) {
    temp_.clear();
    errno = EEXIST;
    return Fail("cannot create a temporary file in " + dir.string());
  }
  struct stat st {};
  if (::stat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 07777);
  return true;
}

bool TSafeFile::Write(const void *data, size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return Fail("write");
  }
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail("cannot write " + temp_.string());
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
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
  // Make the rename itself durable; the new file is in place either way.
  std::filesystem::path dir = target_.parent_path();
  if (dir.empty()) dir = ".";
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
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

bool ReadWholeFile(const std::filesystem::path &path, std::string &out, size_t max_size, std::string *error) {
  auto fail = [&](int err) {
    if (error) *error = path.string() + ": " + SystemError(err);
    return false;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : (errno ? errno : EINVAL);
    ::close(fd);
    return fail(err);
  }
  if (static_cast<unsigned long long>(st.st_size) > max_size) {
    ::close(fd);
    return fail(EFBIG);
  }
  std::string data;
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

bool SafeSaveFile(const std::filesystem::path &path, std::string_view bytes, std::string *error) {
  TSafeFile file;
  const bool ok = file.Open(path) && file.Write(bytes) && file.Commit();
  if (!ok && error) *error = file.Error();
  return ok;
}

}  // namespace kalvort
