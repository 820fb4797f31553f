// kalvort-cli device: talks to a memory module through the USB programmer or a networked
// controller: status, project write / read / verify, erase, test, image read / write.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/Args.h"
#include "cli/CliCommand.h"
#include "cli/CliIo.h"
#include "cli/CliProgress.h"
#include "base/CodePage.h"
#include "project/ProjectFile.h"
#include "project/Settings.h"
#include "workflow/DeviceSession.h"
#include "workflow/DeviceStatus.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort::cli {
namespace {

using workflow::DeviceSession;
using workflow::DeviceTarget;

// Options shared by the device commands, after the settings file's defaults were applied.
struct DeviceOptions {
  DeviceTarget target;
  // The format options and the time-out factor; the processing part says how a read project is
  // to be processed (a written project brings its own).
  Options options;
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

// The status line's words (device, module) and the module's geometry, tab-separated; the USB
// driver in use last.
int runStatus(DeviceSession &session) {
  std::string message;
  const auto outcome = session.OpenAndCheckOutcome(message);
  if (outcome != workflow::OpenOutcome::Ok && outcome != workflow::OpenOutcome::NoModule) return fail(message);
  workflow::DeviceSnapshot snapshot;
  snapshot.opened = true;
  snapshot.state = session.State();
  snapshot.device_type = session.ProjectDeviceType();
  const workflow::StatusTexts texts = workflow::StatusTextsFor(snapshot);
  std::cout << texts.device << "\n";
  if (outcome == workflow::OpenOutcome::Ok) {
    const TDeviceState &s = session.State();
    std::cout << texts.module << "\n"
              << "size\t" << s.MP_size << "\n"
              << "pages\t" << s.MP_page_all << "\n"
              << "page_size\t" << s.MP_page_size << "\n";
  }
  if (!session.BackendDescription().empty()) std::cout << "driver\t" << session.BackendDescription() << "\n";
  session.Close();
  return outcome == workflow::OpenOutcome::Ok ? kExitOk : fail(message);
}

// Largest catalog any module holds; a project file is opened with this capacity so that no entry
// is dropped on opening: a project larger than the module's catalog is refused by the write.
constexpr int kOpenCapacity = 65536;

// Ctrl+C and termination requests cancel the running device action, so the module and the
// controller are left in order (the device closed and released) instead of mid-transfer.
// The signals are blocked in every thread and taken by a watcher thread with sigwait.
class CancelOnSignal {
 public:
  // Call before any other thread exists, so that every thread inherits the mask.
  static void BlockSignals() {
    sigset_t set = signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
  }

  explicit CancelOnSignal(ProjectTransfer &transfer) {
    watcher_ = std::thread([this, &transfer] {
      sigset_t set = signals();
      for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        if (done_.load()) return;
        cancelled_ = true;
        transfer.Cancel();
      }
    });
  }
  ~CancelOnSignal() {
    done_ = true;
    pthread_kill(watcher_.native_handle(), SIGUSR2);
    watcher_.join();
  }
  bool Cancelled() const { return cancelled_.load(); }

 private:
  static sigset_t signals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGUSR2);  // wakes the watcher when the command ends
    return set;
  }

  std::atomic<bool> done_{false};
  std::atomic<bool> cancelled_{false};
  std::thread watcher_;
};

std::string baseName(const std::string &path) { return std::filesystem::path(path).filename().string(); }

std::string entryName(const TDevCatalogEntry &e) {
  return std::to_string(e.cat_num) + " (" + toUtf8(ByteArrayToString(e.code, kCatalogCodeSize)) + ")";
}

// Shows the outcome: the chain's own message, or `success` when it completed without one. A
// refused conversion names the program and its line (from `catalog`). Returns the exit code.
int report(const DeviceSession &session, const TransferResult &r, const std::string &success,
           const TDevCatalog *catalog = nullptr) {
  if (r.status == TransferStatus::Ok) {
    std::cout << (r.message.empty() ? success : r.message) << "\n";
    return kExitOk;
  }
  if (r.status == TransferStatus::OpenFailed)
    return fail(r.message.empty() ? workflow::OpenFailureText(r.error, session.ProjectDeviceType()) : r.message);
  std::string text = r.message;
  if (text.empty()) {
    text = r.title.empty() ? "Операция завершена с ошибкой" : r.title + ": операция завершена с ошибкой";
    if (r.error != deOK) text += " (код ошибки " + std::to_string(static_cast<int>(r.error)) + ")";
  }
  // A failed device step's message names its program already.
  if (r.status != TransferStatus::Failed && r.entry_index >= 0 && catalog && r.entry_index < catalog->CatalogCount()) {
    text += ": программа " + entryName(catalog->Catalog(r.entry_index));
    if (r.conversion.conv_err_str_num > 0) text += ", строка " + std::to_string(r.conversion.conv_err_str_num);
  }
  return fail(text);
}

// A networked controller takes processed 2С42 programs whatever the project says; say so when the
// project asked for something else.
void noteControlType(const DeviceSession &session, const ProjectOptions &project) {
  ProcessingOptions processing = project.processing;
  if (workflow::ApplyControlTypeRule(session.ProjectDeviceType(), processing.enabled, processing.project_type))
    say("a networked controller takes processed 2С42 programs: the project is handled as 2С42 with processing");
}

struct Run {
  // `caption` goes in front of every status text (erase, test and image steps report only the
  // module or the file).
  Run(DeviceSession &session, std::string caption = {}) : transfer(session.Device()) {
    TransferCallbacks c;
    c.progress = [this](int position) { progress.update(position); };
    c.status = [this, caption](const std::string &text) {
      progress.stage(caption.empty() ? text : text.empty() ? caption : caption + " " + text);
      progress.update(0);
    };
    // Nobody is asked on the command line: the read goes on, and the programs with a control-sum
    // error are named here and in the outcome.
    c.continue_after_cs_error = [this](int, const TDevCatalogEntry &entry) {
      progress.finish();
      say("Ошибка чтения файла! " + entryName(entry));
      return true;
    };
    transfer.SetCallbacks(std::move(c));
    progress.stage(caption);
  }

  ProjectTransfer transfer;
  CliProgress progress;
  CancelOnSignal cancel{transfer};
};

// The options a project is worked with here: the command line's format options and time-out
// factor with the project's processing.
Options projectOptions(const DeviceOptions &o, const ProcessingOptions &processing) {
  Options options = o.options;
  options.processing = processing;
  return options;
}

// The project file's programs, converted with the command line's format options and the file's
// processing.
bool openProject(const std::string &file, const DeviceOptions &o, Project &project, ProjectOptions &options) {
  project.Programs().SetMaxProgNum(kOpenCapacity);
  if (const auto err = OpenProjectFile(file, project.Programs(), options); err != ProjectError::None) {
    say(std::string("Ошибка открытия файла. ") + file + " (" + ProjectErrorText(err) + ")");
    return false;
  }
  project.Options() = projectOptions(o, options.processing);
  return true;
}

int runWriteProject(DeviceSession &session, const DeviceOptions &o, const std::string &file) {
  Project project;
  ProjectOptions options;
  if (!openProject(file, o, project, options)) return kExitFailed;
  noteControlType(session, options);
  Run run(session);
  const TransferResult r = run.transfer.RunWriteProject(project);
  run.progress.finish();
  return report(session, r, "Проект записан в МП.", &project.Programs());
}

int runReadProject(DeviceSession &session, const DeviceOptions &o, const std::string &file) {
  ProjectOptions options;
  options.DeviceType = session.ProjectDeviceType();
  options.processing = o.options.processing;
  noteControlType(session, options);
  // The project saved takes the type the read used.
  workflow::ApplyControlTypeRule(session.ProjectDeviceType(), options.processing.enabled,
                                 options.processing.project_type);
  Run run(session);
  Project project;
  project.Options() = projectOptions(o, options.processing);
  const TransferResult r = run.transfer.RunReadProject(project);
  run.progress.finish();
  if (r.status != TransferStatus::Ok && r.status != TransferStatus::ChecksumErrors)
    return report(session, r, "", &session.Device());
  // Programs with a control-sum error are kept as read, marked, as the desktop program keeps them.
  const TDevCatalog &programs = project.Programs();
  std::string detail;
  if (SaveProjectFile(file, &programs, options, &detail) != ProjectError::None)
    return fail("Ошибка сохранения файла! " + file + (detail.empty() ? "" : " (" + detail + ")"));
  if (r.status == TransferStatus::ChecksumErrors) {
    std::string names;
    for (int i : r.cs_error_entries) names += " " + entryName(programs.Catalog(i));
    return fail("Проект прочитан с ошибками контрольной суммы:" + names);
  }
  std::cout << "Проект прочитан из МП: " << programs.CatalogCount() << " программ.\n";
  return kExitOk;
}

int runVerify(DeviceSession &session, const DeviceOptions &o, const std::string &file) {
  Project project;
  ProjectOptions options;
  if (!openProject(file, o, project, options)) return kExitFailed;
  noteControlType(session, options);
  Run run(session);
  const VerifyReport v = run.transfer.RunVerify(project);
  run.progress.finish();
  if (!v.read.ok() && v.read.status != TransferStatus::ChecksumErrors) return report(session, v.read, "", &project.Programs());
  // The number is the catalog slot (cat_num), as `project list` shows it.
  for (const auto &d : v.differences) {
    std::cout << "слот каталога " << d.cat_num;
    if (!d.name.empty()) std::cout << " (" << d.name << ")";
    std::cout << ": " << d.what << "\n";
  }
  if (v.match()) {
    std::cout << "Проект и МП совпадают.\n";
    return kExitOk;
  }
  return fail("Проект и МП различаются.");
}

int runErase(DeviceSession &session, const DeviceOptions &o) {
  Run run(session, o.full ? "Полная очистка МП..." : "Быстрая очистка МП...");
  const TransferResult r = run.transfer.RunErase(o.full);
  run.progress.finish();
  return report(session, r, "Очистка МП завершена");
}

int runTest(DeviceSession &session, const DeviceOptions &o) {
  Run run(session, o.full ? "Полный тест МП..." : "Быстрый тест МП...");
  const TransferResult r = run.transfer.RunTest(o.full);
  run.progress.finish();
  return report(session, r, "Тест МП завершен. Ошибок нет.");
}

int runReadImage(DeviceSession &session, const std::string &file) {
  // The image is collected in memory and saved beside the file, then renamed over it: a failed or
  // cancelled read leaves an existing file as it was.
  std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
  Run run(session, "Чтение образа с МП... " + baseName(file));
  const TransferResult r = run.transfer.RunReadImage(image);
  run.progress.finish();
  if (!r.ok()) return report(session, r, "");
  std::string error;
  if (!writeOutput(file, image.str(), error)) return fail("Ошибка сохранения файла! " + error);
  return report(session, r, "Образ прочитан из МП: " + file);
}

int runWriteImage(DeviceSession &session, const std::string &file) {
  std::string bytes, error;
  if (!readInput(file, bytes, error)) return fail("Ошибка открытия файла. " + error);
  std::stringstream image(bytes, std::ios::in | std::ios::out | std::ios::binary);
  Run run(session, "Запись образа на МП... " + baseName(file));
  const TransferResult r = run.transfer.RunWriteImage(image);
  run.progress.finish();
  return report(session, r, "Образ записан на МП: " + file);
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
    std::string why;
    if (!workflow::ParseLanAddress(*lan, o.target, why)) return usageError("--lan A.B.C.D[:PORT]: " + why);
  } else {
    o.target.usb = true;
  }
  if (const auto m = args.value("--module")) {
    if (o.target.usb) return usageError("--module goes with --lan");
    if (*m == "smp") o.target.subtype = dstSMP;
    else if (*m == "wmp") o.target.subtype = dstWMP;
    else return usageError("--module takes smp or wmp, not " + *m);
  }
  o.options = settings.options;
  o.options.timeout_factor = workflow::TimeoutFactorFor(settings);
  if (const auto t = args.value("--timeout-factor")) {
    const auto v = parseInteger(*t, kMinTimeoutFactor, kMaxTimeoutFactor);
    if (!v) return usageError("--timeout-factor takes 1 to 5, not " + *t);
    o.options.timeout_factor = static_cast<int32_t>(*v);
  }
  Options &opt = o.options;
  opt.vz20_format = flagValue(args, "vz", opt.vz20_format);
  opt.drop_spaces = flagValue(args, "del-space", opt.drop_spaces);
  opt.drop_empty_lines = flagValue(args, "del-empty", opt.drop_empty_lines);
  opt.merge_nc31_words = flagValue(args, "merge", opt.merge_nc31_words);
  // A read project takes the settings' processing; a networked controller's projects are always
  // processed 2С42 programs, as the desktop program fixes them when it reads the controller.
  opt.processing.enabled = flagValue(args, "processing", lan ? true : opt.processing.enabled);
  if (lan) opt.processing.project_type = 0;
  if (const auto p = args.value("--processor")) {
    if (*p == "2c42") opt.processing.project_type = 0;
    else if (*p == "nc31") opt.processing.project_type = 1;
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

  CancelOnSignal::BlockSignals();
  std::string error;
  auto session = DeviceSession::Create(o.target, o.options.timeout_factor, error);
  if (!session) return fail(error);
  if (!session->BackendWarning().empty()) say(session->BackendWarning());

  if (command == "status") return runStatus(*session);
  if (command == "write-project") return runWriteProject(*session, o, pos[1]);
  if (command == "read-project") return runReadProject(*session, o, pos[1]);
  if (command == "verify") return runVerify(*session, o, pos[1]);
  if (command == "erase") return runErase(*session, o);
  if (command == "test") return runTest(*session, o);
  if (command == "read-image") return runReadImage(*session, pos[1]);
  return runWriteImage(*session, pos[1]);
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
