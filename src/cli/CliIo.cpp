#include "cli/CliIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/SafeSave.h"

namespace kalvort::cli {
namespace {

bool writeAll(int fd, const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool readInput(const std::string &path, std::string &bytes, std::string &error,
               std::size_t maxBytes) {
  const bool stdinInput = path == "-";
  const std::string name = stdinInput ? "standard input" : path;
  const int fd = stdinInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot read " + name + ": " + std::strerror(errno);
    return false;
  }
  const std::string tooLarge =
      "cannot read " + name + ": larger than " + std::to_string(maxBytes) + " bytes";
  bytes.clear();
  bool ok = true;
  // A regular file names its size: refuse a large one before reading any of it.
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<unsigned long long>(st.st_size) > maxBytes) {
    error = tooLarge;
    ok = false;
  }
  char buf[65536];
  while (ok) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "cannot read " + name + ": " + std::strerror(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - bytes.size()) {
      error = tooLarge;
      ok = false;
      break;
    }
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  if (!stdinInput) ::close(fd);
  if (!ok) std::string().swap(bytes);
  return ok;
}

bool writeOutput(const std::string &path, const std::string &bytes, std::string &error) {
  if (path == "-") {
    if (!writeAll(STDOUT_FILENO, bytes)) {
      error = std::string("cannot write standard output: ") + std::strerror(errno);
      return false;
    }
    return true;
  }
  std::string reason;
  if (SafeSaveFile(path, bytes, &reason)) return true;
  error = "cannot write " + path + ": " + reason;
  return false;
}

}  // namespace kalvort::cli
