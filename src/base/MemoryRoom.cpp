#include "base/MemoryRoom.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kalvort {

namespace {

constexpr uint64_t kUnknown = std::numeric_limits<uint64_t>::max();

// The process's mapped size in bytes (first field of /proc/self/statm, in pages).
uint64_t MappedSize() {
  std::FILE *f = std::fopen("/proc/self/statm", "re");
  if (!f) return 0;
  unsigned long long pages = 0;
  const int read = std::fscanf(f, "%llu", &pages);
  std::fclose(f);
  const long page = ::sysconf(_SC_PAGESIZE);
  return read == 1 && page > 0 ? pages * static_cast<uint64_t>(page) : 0;
}

uint64_t AddressSpaceRoom() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kUnknown;
  const uint64_t mapped = MappedSize();
  return limit.rlim_cur > mapped ? limit.rlim_cur - mapped : 0;
}

// MemAvailable + SwapFree from /proc/meminfo.
uint64_t SystemRoom() {
  std::FILE *f = std::fopen("/proc/meminfo", "re");
  if (!f) return kUnknown;
  char line[256];
  uint64_t total_kb = 0;
  int found = 0;
  while (std::fgets(line, sizeof line, f)) {
    unsigned long long kb = 0;
    if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1 || std::sscanf(line, "SwapFree: %llu kB", &kb) == 1) {
      total_kb += kb;
      ++found;
    }
  }
  std::fclose(f);
  return found > 0 ? total_kb * 1024 : kUnknown;
}

}  // namespace

uint64_t MemoryRoom() { return std::min(AddressSpaceRoom(), SystemRoom()); }

bool HasMemoryFor(uint64_t bytes) { return bytes <= MemoryRoom(); }

}  // namespace kalvort
