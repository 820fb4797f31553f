#pragma once
// What the chains of ProjectTransfer are made of, shared by its source files (ProjectTransfer.cpp,
// ModuleTransfer.cpp, ProjectVerify.cpp): the state shared with the device's completion events,
// one chain's device steps, and the results they end with. Not for use outside ProjectTransfer.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "workflow/DeviceSession.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort {

// ---- state shared with the device's events ----

// ---- state shared with the device's events ----

struct ProjectTransfer::Shared {
  std::mutex lock;
  std::condition_variable wake;
  bool done = false;             // the step's completion arrived
  bool cancelled_event = false;  // it arrived as the cancel event
  TDeviceError error = deOK;
  bool cancel_requested = false;
  TransferCallbacks callbacks;   // changed only while no chain runs
  // The program steps of the running chain, for the overall progress: set by the chain between
  // steps, read by the worker's progress. `programs` 0: the chain has no program steps.
  std::atomic<int> program{0}, programs{0};
  std::atomic<int64_t> done_bytes{0}, step_bytes{0}, total_bytes{0};

  void Overall(int position) {
    if (!callbacks.overall || programs.load() == 0) return;
    TransferProgress p;
    p.program = program;
    p.programs = programs;
    p.done_bytes = done_bytes + step_bytes * std::clamp(position, 0, 100) / 100;
    p.total_bytes = total_bytes;
    callbacks.overall(p);
  }

  void Completed(TDeviceError e, bool cancelled) {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    cancelled_event = cancelled;
    error = e;
    wake.notify_all();
  }
};

namespace transfer {

// Largest program of the fixed-slot layout (an НЦ-31 word table).
inline constexpr int kFixedSlotSize = 4408;

inline constexpr char kTitleWrite[] = "Записать в МП";
inline constexpr char kTitleRead[] = "Прочитать проект из МП";
inline constexpr char kTitleVerify[] = "Сравнить проект с МП";
inline constexpr char kTitleError[] = "Ошибка";

// Whether a write lays the catalog out in fixed slots (USB programmer, НЦ-31 processing).
bool FixedLayout(TDeviceType device, const PostProcessOptions &options);
TransferResult Message(TransferStatus status, TDeviceError error, const char *title, const char *message,
                       bool warning);
// `incomplete`: the cancelled command had begun to change the module.
TransferResult CancelledResult(bool incomplete = false);
std::string EntryName(const TDevCatalogEntry &entry);
// Makes sure every program has a binary: converts text programs or takes their raw text.
bool EnsureBinaries(TDevCatalog &catalog, const PostProcessOptions &options, TransferResult &result);
// A device step that failed: the headline, then what failed and why ("Программа 3 (ВАЛ): ..." or
// "Причина: ..."), then, when the step left the module half written, kIncompleteModule.
TransferResult StepFailed(TDeviceError error, const char *title, const char *headline,
                          const TDevCatalogEntry *entry = nullptr, bool incomplete = false);
TransferResult NumbersRefused(const char *title);

// Outcome of one device step.
enum class StepEnd { Ok, Error, Refused, Cancelled };

// Runs one chain: the running mark, the device open and the closing on every path.
class Chain {
 public:
  Chain(TDeviceClass &device, ProjectTransfer::Shared &shared, std::atomic<bool> &running)
      : device_(device), shared_(shared), running_(running) {
    std::lock_guard<std::mutex> guard(shared_.lock);
    shared_.cancel_requested = false;
    shared_.programs = 0;
    running_ = true;
  }
  ~Chain() {
    if (open_) device_.DeviceClose();
    std::lock_guard<std::mutex> guard(shared_.lock);
    running_ = false;
    shared_.cancel_requested = false;
  }

  // Opens and checks the device (the step every command starts with). On failure fills `result`.
  bool Open(const char *title, TransferResult &result, TDeviceState &state) {
    std::string message;
    switch (workflow::OpenAndCheckDevice(device_, state, message)) {
      case workflow::OpenOutcome::Ok: open_ = true; return true;
      case workflow::OpenOutcome::Busy:
        result = Message(TransferStatus::OpenFailed, deDeviceBusy, title, "", false);
        return false;
      case workflow::OpenOutcome::NoModule:
        result = Message(TransferStatus::NoModule, deSMPNotConnected, title, workflow::kNoModule, true);
        return false;
      case workflow::OpenOutcome::NotConnected: break;
    }
    result = Message(TransferStatus::OpenFailed, deNotConnected, title, message.c_str(), true);
    return false;
  }

  void Status(const std::string &text) {
    if (shared_.callbacks.status) shared_.callbacks.status(text);
  }

  // The program steps to come: the sizes of entries 0 .. count - 1 of `catalog`.
  void PlanPrograms(const TDevCatalog &catalog) {
    int64_t total = 0;
    for (int i = 0; i < catalog.CatalogCount(); ++i) total += catalog.Catalog(i).prog_size;
    shared_.program = 0;
    shared_.done_bytes = 0;
    shared_.step_bytes = 0;
    shared_.total_bytes = total;
    shared_.programs = catalog.CatalogCount();
  }
  // Program step `index` (from 0) of `catalog` begins; the ones before it are done.
  void StartProgram(const TDevCatalog &catalog, int index) {
    if (shared_.program > 0) shared_.done_bytes += shared_.step_bytes;
    shared_.program = index + 1;
    shared_.step_bytes = catalog.Catalog(index).prog_size;
    shared_.Overall(0);
  }

  // True once a device action of the chain has started: a write has changed the module since.
  bool Started() const { return started_; }

  bool CancelRequested() {
    std::lock_guard<std::mutex> guard(shared_.lock);
    return shared_.cancel_requested;
  }

  // Starts one device action and waits for its completion. A cancel asked for meanwhile is
  // passed on to the device from this (the owner's) thread until the action has ended.
  template <typename Start>
  StepEnd Step(Start start, TDeviceError &error) {
    std::unique_lock<std::mutex> lock(shared_.lock);
    if (shared_.cancel_requested) return StepEnd::Cancelled;
    shared_.done = false;
    shared_.cancelled_event = false;
    lock.unlock();
    if (!start()) {
      error = device_.LastError();
      if (error == deOK) error = deOperationError;
      return StepEnd::Refused;
    }
    started_ = true;
    lock.lock();
    while (!shared_.done) {
      if (shared_.cancel_requested) {
        lock.unlock();
        device_.CancelAction();
        lock.lock();
        shared_.wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return shared_.done; });
      } else {
        shared_.wake.wait(lock, [&] { return shared_.done || shared_.cancel_requested; });
      }
    }
    error = shared_.error;
    if (shared_.cancelled_event) return StepEnd::Cancelled;
    return error == deOK ? StepEnd::Ok : StepEnd::Error;
  }

 private:
  TDeviceClass &device_;
  ProjectTransfer::Shared &shared_;
  std::atomic<bool> &running_;
  bool open_ = false;
  bool started_ = false;
};


// Reads the module's catalog and every program into the device's catalog. `opened`: the state
// read when the caller opened the device already; null opens it here.
TransferResult ReadChain(TDeviceClass &device, Chain &chain, const PostProcessOptions &options, const char *title,
                         const std::function<bool(int, const TDevCatalogEntry &)> *ask,
                         const TDeviceState *opened = nullptr);

}  // namespace transfer
}  // namespace kalvort
