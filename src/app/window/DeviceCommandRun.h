#pragma once
// One device command of the device controller while it runs. The core's chain object and what the
// chain reports live in a state shared with the chain's job on the controller's background worker,
// so that the controller may let the command go at any time without waiting: it cancels the chain,
// closes the way back (a question the chain waits on is answered "no", later reports are
// dropped), and the job finishes on the worker with the state it holds.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "support/BackgroundWorker.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort::app {

class DeviceCommandRun {
 public:
  struct Chain {
    std::atomic<bool> cancelled{false};
    // Progress hand-over: the latest position, and whether a post to the window is on its way.
    std::atomic<int> progress{0};
    std::atomic<bool> progress_posted{false};
    // The same for the whole command's programs and bytes.
    std::atomic<int> program{0}, programs{0}, overall_percent{0};
    std::atomic<bool> overall_posted{false};

    // Worker's thread, in the chain's job: makes the chain object for `device`.
    ProjectTransfer &Start(TDeviceClass &device) {
      std::lock_guard<std::mutex> guard(lock);
      return transfer.emplace(device);
    }
    // Any thread. A chain not yet started does not start; a running one ends as cancelled.
    void Cancel() {
      cancelled = true;
      std::lock_guard<std::mutex> guard(lock);
      if (transfer) transfer->Cancel();
    }
    // Worker's thread, from the chain's reports: a cancel that came just before the chain began
    // was not seen by it; passing it on again here ends the chain at its first report.
    void RepeatCancel() {
      if (cancelled) transfer->Cancel();
    }

   private:
    std::mutex lock;  // guards `transfer` being made against Cancel
    std::optional<ProjectTransfer> transfer;
  };

  explicit DeviceCommandRun(std::shared_ptr<Handback> back)
      : back(std::move(back)), chain(std::make_shared<Chain>()) {}
  ~DeviceCommandRun() {
    chain->Cancel();
    back->close();
  }
  DeviceCommandRun(const DeviceCommandRun &) = delete;
  DeviceCommandRun &operator=(const DeviceCommandRun &) = delete;

  // Controller's (the window's) thread.
  void Cancel() { chain->Cancel(); }

  std::shared_ptr<Handback> back;  // to the controller, for this command only
  std::shared_ptr<Chain> chain;
  // Controller's thread: runs once, at the chain's first status text (the chain has begun).
  std::function<void()> on_first_status;
};

}  // namespace kalvort::app
