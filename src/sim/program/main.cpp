// kalvort-urvell-sim: a networked Урвелл controller on a loopback address, with a replaceable and a
// built-in memory module and fault injection. Runs until interrupted (Ctrl+C, SIGTERM).

#include <arpa/inet.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "base/Log.h"
#include "sim/UrvellSimulator.h"

using kalvort::sim::ModuleMemory;
using kalvort::sim::UrvellConfig;
using kalvort::sim::UrvellSimulator;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: kalvort-urvell-sim [OPTIONS]\n"
    "A networked controller with a replaceable (smp) and a built-in (wmp) memory module.\n"
    "  --address A.B.C.D      address to answer on (default 127.0.0.1; must be in 127.0.0.0/8)\n"
    "  --allow-any-address    accept an address outside 127.0.0.0/8 (refused while\n"
    "                         KALVORT_LOOPBACK_ONLY is set)\n"
    "  --port N               UDP port (default 30000)\n"
    "  --module smp|wmp KIND  module kind: status index 1..8, 500, 2000, 8000, 8000new or none\n"
    "                         (default: smp 500, wmp 500)\n"
    "  --image FILE           keep the replaceable module's bytes in FILE between runs\n"
    "  --wmp-image FILE       the same for the built-in module\n"
    "  --version N            firmware version reported (default 528 = 0x210)\n"
    "  --busy-erase MS        module busy time per erased block (default 2)\n"
    "  --busy-write MS        module busy time per written page (default 1)\n"
    "  --claim-timeout MS     a taken module is given back after MS of silence (default 5000)\n"
    "faults:\n"
    "  --drop PCT             ignore PCT% of requests\n"
    "  --delay MS             send every reply MS late\n"
    "  --duplicate            send every reply twice\n"
    "  --stale                send a reply with an old id and junk payload before each reply\n"
    "  --refuse PCT           refuse PCT% of requests (reply type 255)\n"
    "  --short PCT            cut PCT% of replies to 6 bytes\n"
    "  --corrupt PCT          give PCT% of replies a size field beyond the datagram\n"
    "  --lose-data PCT        carry out PCT% of read-data requests but lose the reply\n"
    "  --bad-crc              give every reply a wrong checksum field\n"
    "  --stop-after N         answer nothing after N requests\n"
    "  --pull-after N         pull the replaceable module out after N requests\n"
    "  --seed N               seed of the fault percentages (default 1)\n"
    "  --help                 this text\n";

std::optional<long long> number(const std::string &s) {
  if (s.empty()) return std::nullopt;
  char *end = nullptr;
  errno = 0;
  const long long v = std::strtoll(s.c_str(), &end, 0);
  if (errno || *end) return std::nullopt;
  return v;
}

std::optional<int> moduleKind(const std::string &kind) {
  if (kind == "none") return 0;
  if (kind == "500") return 3;
  if (kind == "2000") return 5;
  if (kind == "8000") return 7;
  if (kind == "8000new") return 8;
  auto v = number(kind);
  if (v && *v >= 1 && *v <= 8) return static_cast<int>(*v);
  return std::nullopt;
}

int usage(const std::string &why) {
  std::cerr << "kalvort-urvell-sim: " << why << "\n" << kUsage;
  return 2;
}

// An image file's folder must exist at start: the first save would otherwise fail every second.
bool imageFolderExists(const std::string &path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ec;
  return folder.empty() || std::filesystem::is_directory(folder, ec);
}

bool loadImage(ModuleMemory &m, const std::string &path, const char *which) {
  if (path.empty() || !m.Present()) return true;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return true;  // created on the first save
  if (m.LoadFile(path)) return true;
  std::cerr << "kalvort-urvell-sim: " << path << " is not an image of the " << which
            << " module (" << m.Geometry().size() << " bytes)\n";
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  // The core's warnings on standard error; its debug trace stays in KALVORT_DEBUG_LOG's file.
  kalvort::SetLogSink([](kalvort::LogLevel level, std::string_view text) {
    if (level == kalvort::LogLevel::Warning) std::cerr << "kalvort: " << text << '\n';
  });
  UrvellConfig config;
  int smp_kind = 3, wmp_kind = 3;
  std::string smp_image, wmp_image;
  long long busy_erase = 2, busy_write = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char *what) -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      (void)what;
      return std::string(argv[++i]);
    };
    auto num = [&](long long lo, long long hi) -> std::optional<long long> {
      auto s = value(a.c_str());
      if (!s) return std::nullopt;
      auto v = number(*s);
      if (!v || *v < lo || *v > hi) return std::nullopt;
      return v;
    };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--address") {
      auto v = value("address");
      in_addr parsed{};
      if (!v || ::inet_pton(AF_INET, v->c_str(), &parsed) != 1)
        return usage("--address needs A.B.C.D (four numbers 0..255)");
      config.address = *v;
    } else if (a == "--allow-any-address") {
      config.allow_any_address = true;
    } else if (a == "--port") {
      auto v = num(1, 65535);
      if (!v) return usage("--port needs 1..65535");
      config.port = static_cast<uint16_t>(*v);
    } else if (a == "--module") {
      auto which = value("module");
      auto kind = value("kind");
      if (!which || !kind || (*which != "smp" && *which != "wmp"))
        return usage("--module needs smp|wmp and a kind");
      auto k = moduleKind(*kind);
      if (!k) return usage("unknown module kind " + *kind);
      (*which == "smp" ? smp_kind : wmp_kind) = *k;
    } else if (a == "--image" || a == "--wmp-image") {
      auto v = value("file");
      if (!v || v->empty()) return usage(a + " needs a file name");
      if (!imageFolderExists(*v)) return usage("the folder of " + *v + " does not exist");
      (a == "--image" ? smp_image : wmp_image) = *v;
    } else if (a == "--version") {
      auto v = num(0, 0xFFFFFFFFLL);
      if (!v) return usage("--version needs a 32-bit number");
      config.version = static_cast<uint32_t>(*v);
    } else if (a == "--busy-erase" || a == "--busy-write") {
      auto v = num(0, 10000);
      if (!v) return usage(a + " needs milliseconds 0..10000");
      (a == "--busy-erase" ? busy_erase : busy_write) = *v;
    } else if (a == "--claim-timeout") {
      auto v = num(1, 86400000);
      if (!v) return usage("--claim-timeout needs milliseconds");
      config.claim_timeout_ms = static_cast<int>(*v);
    } else if (a == "--drop" || a == "--refuse" || a == "--short" || a == "--corrupt" ||
               a == "--lose-data") {
      auto v = num(0, 100);
      if (!v) return usage(a + " needs a percentage 0..100");
      int pct = static_cast<int>(*v);
      if (a == "--drop") config.faults.drop_percent = pct;
      else if (a == "--refuse") config.faults.refuse_percent = pct;
      else if (a == "--short") config.faults.short_percent = pct;
      else if (a == "--lose-data") config.faults.lose_data_percent = pct;
      else config.faults.corrupt_percent = pct;
    } else if (a == "--delay") {
      auto v = num(0, 600000);
      if (!v) return usage("--delay needs milliseconds");
      config.faults.delay_ms = static_cast<int>(*v);
    } else if (a == "--duplicate") {
      config.faults.duplicate = true;
    } else if (a == "--stale") {
      config.faults.stale = true;
    } else if (a == "--bad-crc") {
      config.faults.bad_crc = true;
    } else if (a == "--stop-after" || a == "--pull-after") {
      auto v = num(0, (1LL << 62));
      if (!v) return usage(a + " needs a request count");
      (a == "--stop-after" ? config.faults.stop_after : config.faults.pull_after) = *v;
    } else if (a == "--seed") {
      auto v = num(0, 0xFFFFFFFFLL);
      if (!v) return usage("--seed needs a number");
      config.faults.seed = static_cast<uint32_t>(*v);
    } else {
      return usage("unknown option " + a);
    }
  }

  auto smp = std::make_shared<ModuleMemory>(smp_kind);
  auto wmp = std::make_shared<ModuleMemory>(wmp_kind);
  for (auto *m : {smp.get(), wmp.get()})
    m->SetBusyTimes(std::chrono::milliseconds(busy_erase), std::chrono::milliseconds(busy_write));
  if (!loadImage(*smp, smp_image, "replaceable") || !loadImage(*wmp, wmp_image, "built-in"))
    return 1;

  UrvellSimulator sim(config, smp, wmp);
  std::string error;
  if (!sim.Start(&error)) {
    std::cerr << "kalvort-urvell-sim: " << error << "\n";
    return 1;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);  // a closed stdout must not kill it before the images are saved
  std::cout << "kalvort-urvell-sim: answering on " << config.address << ":" << config.port
            << " (smp " << smp_kind << ", wmp " << wmp_kind << ")" << std::endl;

  // Module bytes go to their image files once a second while they change, and at the end.
  uint64_t saved[2] = {smp->Generation(), wmp->Generation()};
  auto save = [&](bool force) {
    bool ok = true;
    const std::pair<ModuleMemory *, const std::string *> images[2] = {{smp.get(), &smp_image},
                                                                      {wmp.get(), &wmp_image}};
    for (int i = 0; i < 2; ++i) {
      auto [m, path] = images[i];
      if (path->empty() || !m->Present()) continue;
      const uint64_t g = m->Generation();
      if (!force && g == saved[i]) continue;
      if (m->SaveFile(*path)) {
        saved[i] = g;
      } else {
        std::cerr << "kalvort-urvell-sim: cannot write " << *path << "\n";
        ok = false;
      }
    }
    return ok;
  };
  save(true);
  int ticks = 0;
  while (!g_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (++ticks % 10 == 0) save(false);
  }
  sim.Stop();
  const bool ok = save(false);
  std::cout << "kalvort-urvell-sim: stopped after " << sim.Requests() << " requests" << std::endl;
  return ok ? 0 : 1;
}
