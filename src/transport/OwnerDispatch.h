#pragma once
// Hands work to the thread that owns a device object. Hot-plug events are raised on whatever
// thread notices them (a udev monitor thread, the caller that plugs the virtual programmer in);
// the device core expects them on its owner thread, so they travel through a dispatcher.
//
// The desktop program installs a dispatcher that posts to its event loop; the command line and
// the tests use the queued one below and deliver at points of their choosing.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kalvort {

class TOwnerDispatcher {
 public:
  virtual ~TOwnerDispatcher() = default;
  // Runs `work` later on the owner thread. Callable from any thread; never runs `work` inline.
  virtual void Post(std::function<void()> work) = 0;
};

// Keeps posted work until the owner thread calls Deliver.
class TQueuedDispatcher final : public TOwnerDispatcher {
 public:
  void Post(std::function<void()> work) override;
  // Runs the work posted so far, in order, on the calling thread; returns how many ran.
  size_t Deliver();
  // Waits up to `timeout` for work to arrive, then delivers what is there.
  size_t WaitAndDeliver(std::chrono::milliseconds timeout);
  size_t Pending() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

// The dispatcher new hot-plug listeners use. Until one is installed this is a process-wide
// TQueuedDispatcher, delivered by DeliverOwnerEvents.
std::shared_ptr<TOwnerDispatcher> OwnerDispatcher();
void SetOwnerDispatcher(std::shared_ptr<TOwnerDispatcher> dispatcher);
// Delivers pending work when the installed dispatcher is a TQueuedDispatcher; returns how many ran.
size_t DeliverOwnerEvents(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

}  // namespace kalvort
