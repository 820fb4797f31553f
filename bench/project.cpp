// Saving and opening a full project (987 programs of 4408 bytes with 3 KB texts each), each time
// set against zlib's own compress() / uncompress() of the same payload (goal: at most 1.3).
// Unpacking into a folder has a benchmark of its own, bench_project_unpack, whose yardstick
// flushes the files as an unpack must.
// Usage: bench_project [ROUNDS] [DIR]   (default 5 rounds, in the system's temporary folder)

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/DevCatalog.h"
#include "project/ProjectFile.h"
#include "ShopProject.h"

using namespace kalvort;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::filesystem::path dir = argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
  const auto path = dir / "kalvort-bench-project.kvt";

  TDevCatalog catalog;
  bench::FillShopCatalog(catalog);
  ProjectOptions options;
  const std::string payload = EncodeProjectPayload(ProjectFromCatalog(&catalog, options));

  std::vector<double> save, open, encode, comp, uncomp, inflateOnly, decodeOnly;
  size_t fileSize = 0;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    if (SaveProjectFile(path, &catalog, options) != ProjectError::None) {
      std::fprintf(stderr, "save failed\n");
      return 1;
    }
    auto t1 = Clock::now();
    TDevCatalog back;
    back.SetMaxProgNum(987);
    ProjectOptions o;
    if (OpenProjectFile(path, back, o) != ProjectError::None || back.CatalogCount() != 987) {
      std::fprintf(stderr, "open failed\n");
      return 1;
    }
    auto t2 = Clock::now();
    const std::string p = EncodeProjectPayload(ProjectFromCatalog(&catalog, options));
    auto t3 = Clock::now();
    std::string z(compressBound(payload.size()), '\0');
    uLongf zlen = z.size();
    compress2(reinterpret_cast<Bytef *>(z.data()), &zlen, reinterpret_cast<const Bytef *>(payload.data()),
              payload.size(), Z_DEFAULT_COMPRESSION);
    auto t4 = Clock::now();
    std::string u(payload.size(), '\0');
    uLongf ulen = u.size();
    uncompress(reinterpret_cast<Bytef *>(u.data()), &ulen, reinterpret_cast<const Bytef *>(z.data()), zlen);
    auto t5 = Clock::now();
    fileSize = zlen;
    std::string inflated;
    const std::string_view zv(z.data(), zlen);
    auto t6 = Clock::now();
    InflateProject(zv, inflated);
    auto t7 = Clock::now();
    ProjectContent content;
    DecodeProjectPayload(inflated, content);
    auto t8 = Clock::now();
    inflateOnly.push_back(Seconds(t6, t7));
    decodeOnly.push_back(Seconds(t7, t8));
    save.push_back(Seconds(t0, t1));
    open.push_back(Seconds(t1, t2));
    encode.push_back(Seconds(t2, t3));
    comp.push_back(Seconds(t3, t4));
    uncomp.push_back(Seconds(t4, t5));
  }
  std::filesystem::remove(path);
  const double s = Median(save), o = Median(open), c = Median(comp), u = Median(uncomp);
  std::printf("project: 987 programs, payload %zu bytes, file %zu bytes, %d rounds (medians)\n", payload.size(),
              fileSize, rounds);
  std::printf("save   %8.2f ms   zlib compress   %8.2f ms   ratio %.2f   (payload encoding %.2f ms)\n", s * 1e3,
              c * 1e3, s / c, Median(encode) * 1e3);
  std::printf("open   %8.2f ms   zlib uncompress %8.2f ms   ratio %.2f   (InflateProject %.2f ms, decode %.2f ms)\n",
              o * 1e3, u * 1e3, o / u, Median(inflateOnly) * 1e3, Median(decodeOnly) * 1e3);
  return 0;
}
