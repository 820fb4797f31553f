#pragma once
// ProjectTransfer: the device commands of the desktop program and kalvort-cli without any window.
// It runs a command's whole chain on a TDeviceClass -- open and check the device, prepare, start
// the device action, and on each completion start the next step (the next program of a project)
// -- and ends every chain exactly once with a TransferResult: the outcome, the device error and
// the message the user is shown (title, text, warning icon).
//
// Threads. Every Run... call blocks its caller until the chain has ended; the caller's thread is
// the device's owner for that time: it opens the device, starts each step and closes the device.
// Completions arrive on the device's waiter thread and only wake the caller. Callbacks:
//   - progress: on the device's worker thread, 0..100 of the running step;
//   - overall: the whole command's programs and bytes, on the caller's thread when a program
//     step starts and on the worker thread as the step goes on;
//   - status, continue_after_cs_error: on the caller's thread, between steps.
// Cancel() may be called from any thread while a Run... call blocks; the chain then ends with
// TransferStatus::Cancelled ("Текущее действие отменено").
//
// The desktop program calls Run... from a worker thread of its own (never the window's thread),
// posts progress and status to the window, answers continue_after_cs_error through a blocking
// queued call to the window's thread, wires the progress window's "Отмена" to Cancel() and shows
// the result's message when the call returns. kalvort-cli calls Run... directly.
//
// The object sets the device's completion events and progress callback when constructed; the
// device must be idle then and must outlive the object. One Run... at a time per object; the
// device is opened at the start of a chain and closed at its end, whatever the outcome.

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "device/DevCatalog.h"
#include "device/DeviceClass.h"
#include "device/DeviceTypes.h"
#include "formats/PostProcess.h"
#include "project/Options.h"
#include "project/Project.h"
#include "project/ProjectFile.h"
#include "project/Settings.h"
#include "workflow/DeviceRules.h"

namespace kalvort {

enum class TransferStatus {
  Ok,          // the chain completed
  OpenFailed,  // the device cannot be opened (error deNotConnected, message "Устройство не
               // подключено" / for a controller "Устройство не отвечает") or another client holds
               // it (deDeviceBusy, message empty: workflow::OpenFailureText(error) gives the words)
  NoModule,    // no module in the device: "МП не подключен"
  Refused,     // refused before anything was changed on the module (numbers, conversion, layout, space)
  Failed,      // a device step failed or its start was refused
  // Both with error deCSError, title "Чтение файла", message "Ошибка чтения файла!" and the
  // entries in cs_error_entries (read, kept and marked feCSError):
  ChecksumErrors,  // a project read completed, some programs with control-sum errors
  Stopped,     // a project read stopped after a control-sum error (continue_after_cs_error false)
  Cancelled,   // Cancel()
};

struct TransferResult {
  TransferStatus status = TransferStatus::Ok;
  TDeviceError error = deOK;  // the device error of the failed step, or deOK
  std::string title;          // UTF-8 title of the message
  std::string message;        // UTF-8 text to show; empty when the chain shows nothing
  bool warning = false;       // shown with a warning icon
  int entry_index = -1;       // catalog index of the program concerned (failed, unconvertible)
  ConversionFailure conversion;       // filled when a text program failed conversion
  std::vector<int> cs_error_entries;  // project read: entries read with a control-sum error
  // Project write: text programs the write gave a binary (the project changed even when the write
  // was refused or failed afterwards).
  int derived_binaries = 0;
  // What a completed command moved: programs written or read (project), bytes of those programs
  // or of the image.
  int programs = 0;
  int64_t bytes = 0;
  bool ok() const { return status == TransferStatus::Ok; }
};

// Where a command that moves several programs stands: program `program` (from 1) of `programs`,
// `done_bytes` of their `total_bytes` moved so far (the running program counted by its progress).
struct TransferProgress {
  int program = 0;
  int programs = 0;
  int64_t done_bytes = 0;
  int64_t total_bytes = 0;
};

struct TransferCallbacks {
  std::function<void(int position)> progress;         // worker thread
  std::function<void(const std::string &text)> status;  // caller's thread: status line of the step
  // Caller's thread: a program other than the last was read with a control-sum error (entry
  // `index` is marked feCSError). True continues the read; unset means continue.
  std::function<bool(int index, const TDevCatalogEntry &entry)> continue_after_cs_error;
  // Caller's or worker thread (see above).
  std::function<void(const TransferProgress &)> overall = {};
};

// One difference between a project and the module's content.
struct VerifyDifference {
  int cat_num = -1;      // catalog number concerned
  std::string name;      // program name (UTF-8), empty when the number is missing on one side
  std::string what;      // UTF-8 description, e.g. "размер: проект 120, МП 118"
};

struct VerifyReport {
  TransferResult read;  // outcome of reading the module
  std::vector<VerifyDifference> differences;
  bool match() const { return read.ok() && differences.empty(); }
};

class ProjectTransfer {
 public:
  explicit ProjectTransfer(TDeviceClass &device);
  ~ProjectTransfer();
  ProjectTransfer(const ProjectTransfer &) = delete;
  ProjectTransfer &operator=(const ProjectTransfer &) = delete;

  // The converter options a project chain uses: the project's, with the device's rules applied (a
  // networked controller always takes processed 2С42 programs).
  PostProcessOptions EffectiveOptions(const Project &project) const;
  void SetCallbacks(TransferCallbacks callbacks);

  // The project chains convert with the project's options.
  // Writes `project` to the module: capacity, catalog-number check, conversion of text programs
  // (the binaries stay in the project), then in the device's catalog: PrepareCatalog, space
  // check, catalog, every program. The project takes the layout the write gave its programs.
  TransferResult RunWriteProject(Project &project);
  // Reads the module's catalog and every program into the device's catalog (binaries only); the
  // project takes them when the read completed or read every program it could with control-sum
  // errors (ChecksumErrors, Stopped), and is left as it was otherwise.
  TransferResult RunReadProject(Project &project);
  // Full erase and full test run on the USB programmer only: on a controller they are Refused
  // (workflow::kFullCommandsRefused) before the device is opened.
  TransferResult RunErase(bool full);
  TransferResult RunTest(bool full);
  // The stream is positioned at its start by the caller and kept until the call returns.
  TransferResult RunReadImage(std::iostream &stream);
  TransferResult RunWriteImage(std::iostream &stream);
  // Reads the module into the device's catalog and compares it with `project` laid out as a
  // project write would lay it out (numbers, names, sizes, control sums, bytes). `project` is not
  // changed.
  VerifyReport RunVerify(const Project &project);

  // Any thread: ends the running chain (Cancelled). No effect when none runs.
  void Cancel();
  bool Running() const { return running_.load(); }

  struct Shared;  // state shared with the device's completion events

 private:
  // Erase and test: one step over the whole module (quick or full), its texts and how it starts.
  struct WholeModuleStep {
    const char *quick_title;
    const char *full_title;
    const char *done_title;
    const char *done;
    const char *failed;
    std::function<bool(bool full)> start;
  };
  TransferResult RunWholeModuleStep(const WholeModuleStep &step, bool full);

  TDeviceClass &device_;
  std::shared_ptr<Shared> shared_;
  std::atomic<bool> running_{false};
};

// What the converters take from the options: processing, project type and the format options.
// The one way from Options to PostProcessOptions, for the editor, the checks and the device chains.
PostProcessOptions PostProcessOptionsFor(const Options &options);
// Sets the catalog capacity of `device` for a project read or write: 100 / 0 / 0, and for the
// USB programmer with НЦ-31 processing the fixed-slot geometry of the module kind `type`.
void SetCatalogCapacity(TDevCatalog &catalog, TDeviceType device, const PostProcessOptions &options, TMPtype type);
// True when every entry's catalog number lies in 0 .. MaxProgNum - 1 and none repeats.
bool CatalogNumbersValid(const TDevCatalog &catalog);
// Status text of a chained step: index + 1, ". ", the name up to 30 characters (UTF-8).
std::string ProgramStatusText(int index, const TDevCatalogEntry &entry);
// Names a program as the program list does: "Программа N (NAME)", N the slot from 1, and
// ", строка L" after it when `line` > 0 (UTF-8).
std::string ProgramPlaceText(const TDevCatalogEntry &entry, int line = 0);
// Why a device step failed, in words for a message line: "устройство не отвечает", ...
std::string StepFailureCause(TDeviceError error);
// The last line of a failed project write once the module has been changed.
inline constexpr char kIncompleteModule[] = "Содержимое МП неполное.";
// Erase and test status text: "СМП-" / "ВМП-" and the size word of the module ("500 " ...).
using workflow::ModuleLabel;

}  // namespace kalvort
