// `kalvort-cli project unpack` of a full project (987 programs of 4408 bytes with 3 KB texts each)
// into a new folder, set against the least any unpack must do: zlib's uncompress() of the file's
// payload and plain open / write / close of the same files (same names, same bytes) in a new
// folder, then one fsync per file. Goals: the unpack takes at most 1.3 times the yardstick's CPU time and 1.5 times its
// wall time. Unpacking again over the files of the first unpack is shown beside, without a goal.
// The unpack is the same code the command runs (ReadProjectContent, then UnpackProject), called
// in-process; the two alternate which runs first in a round.
// Usage: bench_project_unpack [ROUNDS] [DIR]   (default 5 rounds, in the system's temporary folder)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ShopProject.h"
#include "base/SafeSave.h"
#include "project/ProjectFile.h"
#include "project/ProjectFolder.h"

using namespace kalvort;

namespace {

constexpr double kCpuGoal = 1.3;
constexpr double kWallGoal = 1.5;

struct Times {
  double wall = 0, cpu = 0;
};

double Now(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Times `work` in wall-clock and process CPU seconds; false when the work failed.
template <typename Work>
bool Time(Times &t, Work &&work) {
  const double w0 = Now(CLOCK_MONOTONIC), c0 = Now(CLOCK_PROCESS_CPUTIME_ID);
  const bool ok = work();
  t.cpu = Now(CLOCK_PROCESS_CPUTIME_ID) - c0;
  t.wall = Now(CLOCK_MONOTONIC) - w0;
  return ok;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

using Files = std::vector<std::pair<std::string, std::string>>;

// The files an unpack left in `folder`, names and bytes.
Files ReadFolder(const std::filesystem::path &folder) {
  Files files;
  for (const auto &f : std::filesystem::directory_iterator(folder)) {
    std::string bytes;
    if (!ReadWholeFile(f.path(), bytes)) return {};
    files.emplace_back(f.path().filename().string(), std::move(bytes));
  }
  return files;
}

// The yardstick: the file read and uncompressed, the same files written plainly into a new
// folder, then each flushed once.
bool PlainUnpack(const std::filesystem::path &path, size_t payloadSize, const Files &files,
                 const std::filesystem::path &folder) {
  std::string z;
  if (!ReadWholeFile(path, z)) return false;
  std::string payload(payloadSize, '\0');
  uLongf size = payload.size();
  if (uncompress(reinterpret_cast<Bytef *>(payload.data()), &size, reinterpret_cast<const Bytef *>(z.data()),
                 z.size()) != Z_OK)
    return false;
  if (::mkdir(folder.c_str(), 0777) != 0) return false;
  for (const auto &[name, bytes] : files) {
    const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (::close(fd) != 0 || !ok) return false;
  }
  // Flushed after all are written, as a careful writer does: a flush right after each write
  // would wait for the disk once per file and make a yardstick that is easy to beat.
  for (const auto &f : files) {
    const int fd = ::open((folder / f.first).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok) return false;
  }
  return true;
}

// What `kalvort-cli project unpack FILE DIR` does.
bool Unpack(const std::filesystem::path &path, const std::filesystem::path &folder) {
  ProjectContent content;
  std::string error;
  if (ReadProjectContent(path, content) == ProjectError::None && UnpackProject(content, folder, &error)) return true;
  std::fprintf(stderr, "unpack failed: %s\n", error.c_str());
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::filesystem::path dir = argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  const auto path = dir / "kalvort-bench-unpack.kvt";
  const auto folder = dir / "kalvort-bench-unpack";
  const auto plainFolder = dir / "kalvort-bench-unpack-plain";

  TDevCatalog catalog;
  bench::FillShopCatalog(catalog);
  const ProjectContent content = ProjectFromCatalog(&catalog, ProjectOptions{});
  const size_t payloadSize = EncodeProjectPayload(content).size();
  if (WriteProjectContent(path, content) != ProjectError::None) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  std::filesystem::remove_all(folder);
  if (!Unpack(path, folder)) return 1;
  const Files files = ReadFolder(folder);
  size_t bytes = 0;
  for (const auto &f : files) bytes += f.second.size();

  std::vector<double> unpackWall, unpackCpu, plainWall, plainCpu, overWall, overCpu;
  for (int r = 0; r < rounds; ++r) {
    std::filesystem::remove_all(folder);
    std::filesystem::remove_all(plainFolder);
    Times unpack, plain, over;
    auto runUnpack = [&] { return Time(unpack, [&] { return Unpack(path, folder); }); };
    auto runPlain = [&] { return Time(plain, [&] { return PlainUnpack(path, payloadSize, files, plainFolder); }); };
    const bool ok = (r % 2 == 0 ? runUnpack() && runPlain() : runPlain() && runUnpack()) &&
                    Time(over, [&] { return Unpack(path, folder); });
    if (!ok) {
      std::fprintf(stderr, "round %d failed\n", r + 1);
      return 1;
    }
    unpackWall.push_back(unpack.wall);
    unpackCpu.push_back(unpack.cpu);
    plainWall.push_back(plain.wall);
    plainCpu.push_back(plain.cpu);
    overWall.push_back(over.wall);
    overCpu.push_back(over.cpu);
  }
  std::filesystem::remove_all(folder);
  std::filesystem::remove_all(plainFolder);
  std::filesystem::remove(path);

  const double uw = Median(unpackWall), uc = Median(unpackCpu), pw = Median(plainWall), pc = Median(plainCpu);
  std::printf("project unpack: 987 programs, %zu files, %zu bytes, payload %zu bytes, %d rounds (medians)\n",
              files.size(), bytes, payloadSize, rounds);
  std::printf("unpack into a new folder   wall %8.2f ms   CPU %8.2f ms\n", uw * 1e3, uc * 1e3);
  std::printf("uncompress + plain writes  wall %8.2f ms   CPU %8.2f ms   (one fsync per file)\n", pw * 1e3,
              pc * 1e3);
  std::printf("ratio                      wall %8.2f      CPU %8.2f      goal: wall <= %.1f, CPU <= %.1f  %s\n",
              uw / pw, uc / pc, kWallGoal, kCpuGoal, uw / pw <= kWallGoal && uc / pc <= kCpuGoal ? "met" : "NOT MET");
  std::printf("unpack over the same files wall %8.2f ms   CPU %8.2f ms   (ratio wall %.2f, CPU %.2f)\n",
              Median(overWall) * 1e3, Median(overCpu) * 1e3, Median(overWall) / pw, Median(overCpu) / pc);
  return 0;
}
