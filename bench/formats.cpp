// Throughput of the six program converters on the largest program each format holds:
//  - 2С42: a 32768-byte image (the program buffer's size) and the text that writes it;
//  - НЦ-31: all 1100 word slots written, 1000 read back (one line per word and merged);
//  - ВЗ: 7360 encoded bytes written and read back (what fits the loader's memory above address
//    832, the writer's limit).
// Usage: bench_formats [SECONDS-PER-CONVERTER]   (default 0.5)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "formats/Processors.h"

using namespace kalvort;

namespace {

double secondsPerCase = 0.5;

std::u16string ascii(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// Runs `convert` repeatedly for the configured time; prints conversions/s and MB/s of input.
void measure(const char *name, std::size_t inputBytes, const std::function<bool()> &convert) {
  if (!convert()) {
    std::printf("%-28s FAILED\n", name);
    std::exit(1);
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long runs = 0;
  double elapsed = 0;
  do {
    for (int i = 0; i < 16; ++i) convert();
    runs += 16;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < secondsPerCase);
  const double perSecond = runs / elapsed;
  std::printf("%-28s %7zu bytes in  %10.1f conv/s  %8.1f MB/s  %8.1f us/conv\n", name, inputBytes,
              perSecond, perSecond * inputBytes / 1e6, 1e6 / perSecond);
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
  measure("Read2C42", image2C42.size(),
          [&] { return Read2C42(conv, image2C42.data(), image2C42.size(), nullptr, n); });
  measure("Write2C42", text2C42Size, [&] { return Write2C42(conv, text2C42, false, false, nullptr, n); });
  measure("ReadNC31 (per word)", imageNC31.size(),
          [&] { return ReadNC31(conv, imageNC31.data(), imageNC31.size(), false, nullptr, n); });
  measure("ReadNC31 (merged)", imageNC31.size(),
          [&] { return ReadNC31(conv, imageNC31.data(), imageNC31.size(), true, nullptr, n); });
  measure("WriteNC31", textNC31Size, [&] { return WriteNC31(conv, textNC31, nullptr, n); });
  measure("ReadVZ", imageVZ.size(),
          [&] { return ReadVZ(conv, imageVZ.data(), imageVZ.size(), nullptr, n); });
  measure("WriteVZ", textVZSize, [&] { return WriteVZ(conv, textVZ, false, nullptr, n); });
  // The progress sink is called only when the percentage changes, so a bound sink costs little.
  int last = 0;
  const ProgressSink sink = [&](int p) { last = p; };
  measure("Read2C42 with progress", image2C42.size(),
          [&] { return Read2C42(conv, image2C42.data(), image2C42.size(), sink, n); });
  return last == 0 ? 0 : 1;
}
