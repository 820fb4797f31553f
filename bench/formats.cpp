// Throughput of the six program converters on the largest program each format holds:
//  - 2С42: a 32768-byte image (the program buffer's size) and the text that writes it;
//  - НЦ-31: all 1100 word slots written, 1000 read back (one line per word and merged);
//  - ВЗ: 7360 encoded bytes written and read back (what fits the loader's memory above address
//    832, the writer's limit).
// Each converter runs without and with a progress sink; the sink's cost is printed beside it.
// Times are the thread's CPU time, and the figure is the best of ten rounds, so that other work on
// a busy machine disturbs it little.
// Usage: bench_formats [SECONDS-PER-CONVERTER]   (default 0.5)

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "formats/Processors.h"

using namespace kalvort;

namespace {

double secondsPerCase = 0.5;

std::u16string ascii(const std::string &s) { return std::u16string(s.begin(), s.end()); }

double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Seconds per conversion: the best of ten rounds, each running `convert` for a tenth of the
// configured time.
double timePerConversion(const char *name, const std::function<bool()> &convert) {
  if (!convert()) {
    std::printf("%-22s FAILED\n", name);
    std::exit(1);
  }
  constexpr int kRounds = 10;
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    const double start = threadSeconds();
    long runs = 0;
    double elapsed = 0;
    do {
      for (int i = 0; i < 16; ++i) convert();
      runs += 16;
      elapsed = threadSeconds() - start;
    } while (elapsed < secondsPerCase / kRounds);
    best = std::min(best, elapsed / static_cast<double>(runs));
  }
  return best;
}

// Prints conversions/s and MB/s of input for `convert(nullptr)`, and MB/s with a progress sink.
void measure(const char *name, std::size_t inputBytes,
             const std::function<bool(const ProgressSink &)> &convert) {
  int last = -1;
  const ProgressSink sink = [&](int p) { last = p; };
  const double plain = timePerConversion(name, [&] { return convert(nullptr); });
  const double withSink = timePerConversion(name, [&] { return convert(sink); });
  if (last != 0) {
    std::printf("%-22s progress did not end at 0\n", name);
    std::exit(1);
  }
  std::printf("%-22s %7zu bytes in %9.1f conv/s %8.1f MB/s %8.1f us/conv | progress %8.1f MB/s %+6.1f %%\n",
              name, inputBytes, 1 / plain, inputBytes / plain / 1e6, plain * 1e6,
              inputBytes / withSink / 1e6, (withSink / plain - 1) * 100);
}

ProgramLines program2C42() {
  ProgramLines lines = {u"^^^^^^^^^^^^^^^^^^^^", u"%"};
  std::size_t bytes = 22;
  for (int n = 1; bytes < 32768 - 40; ++n) {
    char line[64];
    const int len = std::snprintf(line, sizeof line, "N%04d G01 X%+06d Z%+06d F200^", n % 10000,
                                  (n * 37) % 99999, -(n * 53) % 99999);
    lines.push_back(ascii(line));
    bytes += static_cast<std::size_t>(len) + 1;  // the "^" becomes LF NUL
  }
  lines.push_back(u"M02^");
  return lines;
}

ProgramLines programNC31() {
  ProgramLines lines;
  for (int slot = 0; slot < 1100; slot += 4) {
    char line[80];
    std::snprintf(line, sizeof line, "N%04d G1 X%d Z-%d F%d", slot, slot * 101, slot * 7 + 1,
                  100 + slot % 900);
    lines.push_back(ascii(line));
  }
  return lines;
}

ProgramLines programVZ(std::size_t records) {
  ProgramLines lines;
  for (std::size_t i = 0; i < records; ++i)
    lines.push_back(i % 2 ? u"СТОП ДЕТАЛЬ ОБРАБОТКА ЗАВЕРШЕН" : u"N0010 G01 X100.000 Z-20.500 F1");
  return lines;
}

std::vector<std::uint8_t> resultOf(const Conversion &conv) { return conv.result(); }

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1) secondsPerCase = std::atof(argv[1]);
  Conversion conv;
  std::size_t n = 0;

  const ProgramLines text2C42 = program2C42();
  std::size_t text2C42Size = 0;
  for (const auto &l : text2C42) text2C42Size += l.size() + 2;
  Write2C42(conv, text2C42, false, false, nullptr, n);
  const auto image2C42 = resultOf(conv);

  const ProgramLines textNC31 = programNC31();
  std::size_t textNC31Size = 0;
  for (const auto &l : textNC31) textNC31Size += l.size() + 2;
  WriteNC31(conv, textNC31, nullptr, n);
  const auto imageNC31 = resultOf(conv);

  const ProgramLines textVZ = programVZ(230);  // 7360 encoded bytes
  std::size_t textVZSize = 0;
  for (const auto &l : textVZ) textVZSize += l.size() + 2;
  WriteVZ(conv, textVZ, false, nullptr, n);
  const auto imageVZ = resultOf(conv);

  std::printf("2С42 image %zu bytes, НЦ-31 image %zu bytes, ВЗ stream %zu bytes (read)\n",
              image2C42.size(), imageNC31.size(), imageVZ.size());
  measure("Read2C42", image2C42.size(), [&](const ProgressSink &progress) {
    return Read2C42(conv, image2C42.data(), image2C42.size(), progress, n);
  });
  measure("Write2C42", text2C42Size, [&](const ProgressSink &progress) {
    return Write2C42(conv, text2C42, false, false, progress, n);
  });
  measure("ReadNC31 (per word)", imageNC31.size(), [&](const ProgressSink &progress) {
    return ReadNC31(conv, imageNC31.data(), imageNC31.size(), false, progress, n);
  });
  measure("ReadNC31 (merged)", imageNC31.size(), [&](const ProgressSink &progress) {
    return ReadNC31(conv, imageNC31.data(), imageNC31.size(), true, progress, n);
  });
  measure("WriteNC31", textNC31Size,
          [&](const ProgressSink &progress) { return WriteNC31(conv, textNC31, progress, n); });
  measure("ReadVZ", imageVZ.size(), [&](const ProgressSink &progress) {
    return ReadVZ(conv, imageVZ.data(), imageVZ.size(), progress, n);
  });
  measure("WriteVZ", textVZSize,
          [&](const ProgressSink &progress) { return WriteVZ(conv, textVZ, false, progress, n); });
  return 0;
}
