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
using kalvort::sim::UrvellFaults;
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

// Everything the command line sets.
struct SimOptions {
  UrvellConfig config;
  int smp_kind = 3, wmp_kind = 3;
  std::string smp_image, wmp_image;
  long long busy_erase = 2, busy_write = 1;
};

// Hands out an option's values one after the other.
class ArgCursor {
 public:
  ArgCursor(int argc, char **argv) : argc_(argc), argv_(argv) {}
  bool More() const { return last_taken_ + 1 < argc_; }
  std::string Next() { return argv_[++last_taken_]; }
  std::optional<std::string> Value() {
    if (!More()) return std::nullopt;
    return Next();
  }
  std::optional<long long> Number(long long lo, long long hi) {
    auto s = Value();
    if (!s) return std::nullopt;
    auto v = number(*s);
    if (!v || *v < lo || *v > hi) return std::nullopt;
    return v;
  }

 private:
  int argc_;
  char **argv_;
  int last_taken_ = 0;
};

// Applies one option of the controller and its modules; false when `a` is not one. A bad value
// leaves its message in *why.
bool controllerOption(const std::string &a, ArgCursor &args, SimOptions &o, std::string *why) {
  UrvellConfig &config = o.config;
  if (a == "--address") {
    auto v = args.Value();
    in_addr parsed{};
    if (!v || ::inet_pton(AF_INET, v->c_str(), &parsed) != 1)
      *why = "--address needs A.B.C.D (four numbers 0..255)";
    else
      config.address = *v;
  } else if (a == "--allow-any-address") {
    config.allow_any_address = true;
  } else if (a == "--port") {
    auto v = args.Number(1, 65535);
    if (!v) *why = "--port needs 1..65535";
    else config.port = static_cast<uint16_t>(*v);
  } else if (a == "--module") {
    auto which = args.Value();
    auto kind = args.Value();
    if (!which || !kind || (*which != "smp" && *which != "wmp")) {
      *why = "--module needs smp|wmp and a kind";
    } else if (auto k = moduleKind(*kind)) {
      (*which == "smp" ? o.smp_kind : o.wmp_kind) = *k;
    } else {
      *why = "unknown module kind " + *kind;
    }
  } else if (a == "--image" || a == "--wmp-image") {
    auto v = args.Value();
    if (!v || v->empty()) *why = a + " needs a file name";
    else if (!imageFolderExists(*v)) *why = "the folder of " + *v + " does not exist";
    else (a == "--image" ? o.smp_image : o.wmp_image) = *v;
  } else if (a == "--version") {
    auto v = args.Number(0, 0xFFFFFFFFLL);
    if (!v) *why = "--version needs a 32-bit number";
    else config.version = static_cast<uint32_t>(*v);
  } else if (a == "--busy-erase" || a == "--busy-write") {
    auto v = args.Number(0, 10000);
    if (!v) *why = a + " needs milliseconds 0..10000";
    else (a == "--busy-erase" ? o.busy_erase : o.busy_write) = *v;
  } else if (a == "--claim-timeout") {
    auto v = args.Number(1, 86400000);
    if (!v) *why = "--claim-timeout needs milliseconds";
    else config.claim_timeout_ms = static_cast<int>(*v);
  } else {
    return false;
  }
  return true;
}

// Applies one fault option; false when `a` is not one. A bad value leaves its message in *why.
bool faultOption(const std::string &a, ArgCursor &args, UrvellFaults &faults, std::string *why) {
  if (a == "--drop" || a == "--refuse" || a == "--short" || a == "--corrupt" || a == "--lose-data") {
    auto v = args.Number(0, 100);
    if (!v) {
      *why = a + " needs a percentage 0..100";
      return true;
    }
    const int pct = static_cast<int>(*v);
    if (a == "--drop") faults.drop_percent = pct;
    else if (a == "--refuse") faults.refuse_percent = pct;
    else if (a == "--short") faults.short_percent = pct;
    else if (a == "--lose-data") faults.lose_data_percent = pct;
    else faults.corrupt_percent = pct;
  } else if (a == "--delay") {
    auto v = args.Number(0, 600000);
    if (!v) *why = "--delay needs milliseconds";
    else faults.delay_ms = static_cast<int>(*v);
  } else if (a == "--duplicate") {
    faults.duplicate = true;
  } else if (a == "--stale") {
    faults.stale = true;
  } else if (a == "--bad-crc") {
    faults.bad_crc = true;
  } else if (a == "--stop-after" || a == "--pull-after") {
    auto v = args.Number(0, (1LL << 62));
    if (!v) *why = a + " needs a request count";
    else (a == "--stop-after" ? faults.stop_after : faults.pull_after) = *v;
  } else if (a == "--seed") {
    auto v = args.Number(0, 0xFFFFFFFFLL);
    if (!v) *why = "--seed needs a number";
    else faults.seed = static_cast<uint32_t>(*v);
  } else {
    return false;
  }
  return true;
}

// Reads the command line into *o; an exit code when the program ends here (help or a bad option).
std::optional<int> parseArgs(int argc, char **argv, SimOptions *o) {
  ArgCursor args(argc, argv);
  while (args.More()) {
    const std::string a = args.Next();
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    std::string why;
    if (!controllerOption(a, args, *o, &why) && !faultOption(a, args, o->config.faults, &why))
      return usage("unknown option " + a);
    if (!why.empty()) return usage(why);
  }
  return std::nullopt;
}

// Module bytes go to their image files once a second while they change, and at the end.
class ImageSaver {
 public:
  ImageSaver(const SimOptions &o, ModuleMemory &smp, ModuleMemory &wmp)
      : images_{{&smp, &o.smp_image}, {&wmp, &o.wmp_image}},
        saved_{smp.Generation(), wmp.Generation()} {}

  // Saves the images whose module changed since the last save (all of them with `force`);
  // false when one could not be written.
  bool Save(bool force) {
    bool ok = true;
    for (int i = 0; i < 2; ++i) {
      auto [m, path] = images_[i];
      if (path->empty() || !m->Present()) continue;
      const uint64_t g = m->Generation();
      if (!force && g == saved_[i]) continue;
      if (m->SaveFile(*path)) {
        saved_[i] = g;
      } else {
        std::cerr << "kalvort-urvell-sim: cannot write " << *path << "\n";
        ok = false;
      }
    }
    return ok;
  }

 private:
  std::pair<ModuleMemory *, const std::string *> images_[2];
  uint64_t saved_[2];
};

// Answers until a signal stops it, saving the images on the way.
int serve(const SimOptions &o, const std::shared_ptr<ModuleMemory> &smp,
          const std::shared_ptr<ModuleMemory> &wmp) {
  UrvellSimulator sim(o.config, smp, wmp);
  std::string error;
  if (!sim.Start(&error)) {
    std::cerr << "kalvort-urvell-sim: " << error << "\n";
    return 1;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::signal(SIGPIPE, SIG_IGN);  // a closed stdout must not kill it before the images are saved
  std::cout << "kalvort-urvell-sim: answering on " << o.config.address << ":" << o.config.port
            << " (smp " << o.smp_kind << ", wmp " << o.wmp_kind << ")" << std::endl;

  ImageSaver images(o, *smp, *wmp);
  images.Save(true);
  int ticks = 0;
  while (!g_stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (++ticks % 10 == 0) images.Save(false);
  }
  sim.Stop();
  const bool ok = images.Save(false);
  std::cout << "kalvort-urvell-sim: stopped after " << sim.Requests() << " requests" << std::endl;
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  // The core's warnings on standard error; its debug trace stays in KALVORT_DEBUG_LOG's file.
  kalvort::SetLogSink([](kalvort::LogLevel level, std::string_view text) {
    if (level == kalvort::LogLevel::Warning) std::cerr << "kalvort: " << text << '\n';
  });
  SimOptions options;
  if (auto exit_code = parseArgs(argc, argv, &options)) return *exit_code;

  auto smp = std::make_shared<ModuleMemory>(options.smp_kind);
  auto wmp = std::make_shared<ModuleMemory>(options.wmp_kind);
  for (auto *m : {smp.get(), wmp.get()})
    m->SetBusyTimes(std::chrono::milliseconds(options.busy_erase),
                    std::chrono::milliseconds(options.busy_write));
  if (!loadImage(*smp, options.smp_image, "replaceable") ||
      !loadImage(*wmp, options.wmp_image, "built-in"))
    return 1;
  return serve(options, smp, wmp);
}
