#pragma once
// One device command of the main window while it runs: the core's chain object for the device
// and the worker thread the chain runs on. The window creates it when a command starts and lets
// it go when the window is idle again; destroying it cancels a chain still running and waits for
// the worker, so the device is never used after the window has let it go.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <memory>

#include "support/BackgroundTask.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort::app {

class DeviceCommandRun {
 public:
  explicit DeviceCommandRun(TDeviceClass &device) : transfer(device), task(std::make_unique<BackgroundTask>()) {}
  ~DeviceCommandRun() {
    task->abandonCalls();  // a question the chain waits on is not going to be answered
    // A cancel that arrives just before the chain has started is not seen by it: repeat it
    // until the work has returned.
    while (task->working()) {
      Cancel();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    task.reset();  // joins the worker while the chain object still exists
  }
  DeviceCommandRun(const DeviceCommandRun &) = delete;
  DeviceCommandRun &operator=(const DeviceCommandRun &) = delete;

  // Any thread. A chain not yet started does not start; a running one ends as cancelled.
  void Cancel() {
    cancelled = true;
    transfer.Cancel();
  }

  ProjectTransfer transfer;
  std::unique_ptr<BackgroundTask> task;
  std::atomic<bool> cancelled{false};
  // Window's thread: runs once, at the chain's first status text (the chain has begun).
  std::function<void()> on_first_status;
  // Progress hand-over: the latest position, and whether a post to the window is on its way.
  std::atomic<int> progress{0};
  std::atomic<bool> progress_posted{false};
  // The same for the whole command's programs and bytes.
  std::atomic<int> program{0}, programs{0}, overall_percent{0};
  std::atomic<bool> overall_posted{false};
};

}  // namespace kalvort::app
