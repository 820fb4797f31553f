#include "transport/OwnerDispatch.h"

#include <utility>

namespace kalvort {

void TQueuedDispatcher::Post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(work));
  }
  cv_.notify_all();
}

size_t TQueuedDispatcher::Deliver() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  // Run without the lock: the work may post more (it is delivered next time).
  for (auto &work : batch) work();
  return batch.size();
}

size_t TQueuedDispatcher::WaitAndDeliver(std::chrono::milliseconds timeout) {
  {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
  }
  return Deliver();
}

size_t TQueuedDispatcher::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

namespace {

std::mutex g_dispatcher_mutex;
std::shared_ptr<TOwnerDispatcher> g_dispatcher;

}  // namespace

std::shared_ptr<TOwnerDispatcher> OwnerDispatcher() {
  std::lock_guard lock(g_dispatcher_mutex);
  if (!g_dispatcher) g_dispatcher = std::make_shared<TQueuedDispatcher>();
  return g_dispatcher;
}

void SetOwnerDispatcher(std::shared_ptr<TOwnerDispatcher> dispatcher) {
  std::lock_guard lock(g_dispatcher_mutex);
  g_dispatcher = std::move(dispatcher);
}

size_t DeliverOwnerEvents(std::chrono::milliseconds wait) {
  auto queued = std::dynamic_pointer_cast<TQueuedDispatcher>(OwnerDispatcher());
  if (!queued) return 0;
  return wait.count() > 0 ? queued->WaitAndDeliver(wait) : queued->Deliver();
}

}  // namespace kalvort
