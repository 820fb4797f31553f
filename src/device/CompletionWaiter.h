#pragma once
// One-shot completion wait of a device object: a dedicated thread that waits for the end signal
// of the armed request or for its time-out, whichever comes first, and then runs the request's
// completion function exactly once, off the worker thread.
//
// Only one request is armed at a time. End signals carry the request's number, so a late signal
// of an abandoned request never completes a newer one. Stop drops an armed request without
// running it and waits for a completion function that is running; called from inside a completion
// function it does not wait, and the waiter thread then ends without touching its owner again.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace kalvort {

class TCompletionWaiter {
 public:
  // Runs on the waiter thread; timed_out tells which of the two events came first.
  using TFire = std::function<void(bool timed_out)>;

  TCompletionWaiter();
  ~TCompletionWaiter();
  TCompletionWaiter(const TCompletionWaiter &) = delete;
  TCompletionWaiter &operator=(const TCompletionWaiter &) = delete;

  // Arms the wait for request `id`; no time-out when `timeout` is empty. False when a request is
  // still armed or the waiter is stopped: nothing is armed then.
  bool Arm(uint64_t id, std::optional<std::chrono::milliseconds> timeout, TFire fire);
  // End signal for request `id`. A signal for a request that is not armed is ignored.
  void Signal(uint64_t id);
  // True while a request is armed and its completion has not started.
  bool Armed() const;
  void Stop();

 private:
  struct Shared;
  static void Run(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace kalvort
