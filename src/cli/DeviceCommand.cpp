// kalvort-cli device: talks to a memory module through the USB programmer or a networked
// controller: status, project write / read / verify, erase, test, image read / write.

#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliProgress.h"
#include "cli/DeviceSession.h"
#include "project/ProjectFile.h"
#include "project/Settings.h"

namespace kalvort::cli {
namespace {

// Options shared by the device commands, after the settings file's defaults were applied.
struct DeviceOptions {
  DeviceTarget target;
  int timeout_factor = 3;
  bool vz_200 = false;
  bool del_space = true;
  bool del_empty_string = true;
  bool merge_wrd_cmd = false;
  bool need_proc = true;       // read-project: how the read project is to be processed
  int32_t processor_type = 0;
  bool full = false;
};

const std::set<std::string> kFlags = {"--usb",       "--vz",        "--no-vz",       "--del-space",
                                      "--no-del-space", "--del-empty", "--no-del-empty", "--merge",
                                      "--no-merge",  "--full",      "--no-processing", "--processing"};
const std::set<std::string> kValued = {"--lan", "--module", "--timeout-factor", "--processor"};

void say(const std::string &message) { std::cerr << "kalvort-cli: " << message << "\n"; }

int fail(const std::string &message) {
  say(message);
  return kExitFailed;
}

// A flag pair --NAME / --no-NAME over a default.
bool flagValue(const Args &args, const std::string &name, bool def) {
  if (args.has("--no-" + name)) return false;
  if (args.has("--" + name)) return true;
  return def;
}

int runStatus(DeviceSession &session) {
  std::string message;
  const bool ok = session.OpenAndCheck(message);
  if (!session.BackendDescription().empty()) std::cout << session.BackendDescription() << "\n";
  if (!ok && message != "МП не подключен") return fail(message);
  std::cout << session.DeviceLabel() << "\n";
  if (!ok) return fail(message);
  const TDeviceState &s = session.State();
  std::cout << session.ModuleLabel() << "\n"
            << "size\t" << s.MP_size << "\n"
            << "pages\t" << s.MP_page_all << "\n"
            << "page_size\t" << s.MP_page_size << "\n";
  session.Close();
  return kExitOk;
}

int runDevice(const std::vector<std::string> &argv) {
  Args args(argv, kFlags, kValued);
  if (!args.ok()) return usageError(args.error());

  KalvortSettings settings;
  std::string settings_error;
  if (!OpenSettings(SettingsPath(), settings, &settings_error))
    say("settings file ignored: " + settings_error);

  DeviceOptions o;
  const auto lan = args.value("--lan");
  if (args.has("--usb") == lan.has_value()) return usageError("device needs exactly one of --usb and --lan");
  if (lan) {
    if (!ParseLanAddress(*lan, o.target)) return usageError("--lan needs A.B.C.D or A.B.C.D:PORT, not " + *lan);
  } else {
    o.target.usb = true;
  }
  if (const auto m = args.value("--module")) {
    if (o.target.usb) return usageError("--module goes with --lan");
    if (*m == "smp") o.target.subtype = dstSMP;
    else if (*m == "wmp") o.target.subtype = dstWMP;
    else return usageError("--module takes smp or wmp, not " + *m);
  }
  o.timeout_factor = settings.TimeoutFactor >= 1 && settings.TimeoutFactor <= 5 ? settings.TimeoutFactor : 3;
  if (const auto t = args.value("--timeout-factor")) {
    const auto v = parseInteger(*t, 1, 5);
    if (!v) return usageError("--timeout-factor takes 1 to 5, not " + *t);
    o.timeout_factor = static_cast<int>(*v);
  }
  o.vz_200 = flagValue(args, "vz", settings.vz_200);
  o.del_space = flagValue(args, "del-space", settings.del_space);
  o.del_empty_string = flagValue(args, "del-empty", settings.del_empty_string);
  o.merge_wrd_cmd = flagValue(args, "merge", settings.merge_wrd_cmd);
  o.need_proc = flagValue(args, "processing", settings.need_proc);
  o.processor_type = settings.processor_type;
  if (const auto p = args.value("--processor")) {
    if (*p == "2c42") o.processor_type = 0;
    else if (*p == "nc31") o.processor_type = 1;
    else return usageError("--processor takes 2c42 or nc31, not " + *p);
  }
  o.full = args.has("--full");

  const auto &pos = args.positional();
  if (pos.empty()) return usageError("device needs a command");
  const std::string &command = pos[0];
  struct Shape {
    const char *name;
    size_t operands;
  };
  static const Shape shapes[] = {{"status", 0},      {"read-project", 1}, {"write-project", 1}, {"erase", 0},
                                 {"test", 0},        {"read-image", 1},   {"write-image", 1},   {"verify", 1}};
  const Shape *shape = nullptr;
  for (const auto &s : shapes)
    if (command == s.name) shape = &s;
  if (!shape) return usageError("unknown device command " + command);
  if (pos.size() != shape->operands + 1)
    return usageError("device " + command + (shape->operands ? " needs one file" : " takes no file"));
  if (o.full && command != "erase" && command != "test") return usageError("--full goes with erase and test");

  std::string error;
  auto session = DeviceSession::Create(o.target, error);
  if (!session) return fail(error);
  if (!session->BackendWarning().empty()) say(session->BackendWarning());
  session->Device().SetTimeoutFactor(o.timeout_factor);

  if (command == "status") return runStatus(*session);
  return usageError("device " + command + " is not available yet");
}

CliCommandRegistration registration{{
    "device",
    "  device (--usb | --lan A.B.C.D[:PORT] [--module smp|wmp]) [OPTIONS] COMMAND\n"
    "      Talks to the memory module of the USB programmer or of a networked controller.\n"
    "      COMMAND: status | read-project FILE.kvt | write-project FILE.kvt | verify FILE.kvt |\n"
    "               erase [--full] | test [--full] | read-image FILE.bin | write-image FILE.bin\n"
    "      --timeout-factor 1..5; converting text programs: --[no-]vz, --[no-]del-space,\n"
    "      --[no-]del-empty, --[no-]merge; read-project: --processor 2c42|nc31,\n"
    "      --[no-]processing (defaults from the settings file).",
    runDevice,
}};

}  // namespace
}  // namespace kalvort::cli
