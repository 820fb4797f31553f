#include "device/CompletionWaiter.h"

#include <condition_variable>
#include <mutex>

namespace kalvort {

struct TCompletionWaiter::Shared {
  std::mutex lock;
  std::condition_variable wake;
  bool stop = false;
  bool armed = false;
  uint64_t id = 0;
  uint64_t signalled = 0;  // number of the request whose end was signalled last
  bool has_deadline = false;
  std::chrono::steady_clock::time_point deadline;
  TFire fire;
};

TCompletionWaiter::TCompletionWaiter() : shared_(std::make_shared<Shared>()) {
  thread_ = std::thread(&TCompletionWaiter::Run, shared_);
}

TCompletionWaiter::~TCompletionWaiter() { Stop(); }

bool TCompletionWaiter::Arm(uint64_t id, std::optional<std::chrono::milliseconds> timeout, TFire fire) {
  std::lock_guard<std::mutex> guard(shared_->lock);
  if (shared_->stop || shared_->armed) return false;
  shared_->armed = true;
  shared_->id = id;
  shared_->has_deadline = timeout.has_value();
  if (timeout) shared_->deadline = std::chrono::steady_clock::now() + *timeout;
  shared_->fire = std::move(fire);
  shared_->wake.notify_all();
  return true;
}

void TCompletionWaiter::Signal(uint64_t id) {
  std::lock_guard<std::mutex> guard(shared_->lock);
  shared_->signalled = id;
  shared_->wake.notify_all();
}

bool TCompletionWaiter::Armed() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->armed;
}

void TCompletionWaiter::Stop() {
  {
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->stop = true;
    shared_->armed = false;
    shared_->fire = nullptr;
    shared_->wake.notify_all();
  }
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Stopped from inside a completion function (its receiver destroys the device): the thread
    // finishes that function and then leaves on its own, holding only the shared state.
    thread_.detach();
  } else {
    thread_.join();
  }
}

void TCompletionWaiter::Run(std::shared_ptr<Shared> s) {
  std::unique_lock<std::mutex> lock(s->lock);
  for (;;) {
    s->wake.wait(lock, [&] { return s->stop || s->armed; });
    if (s->stop) return;
    const uint64_t id = s->id;
    auto ended = [&] { return s->stop || !s->armed || s->id != id || s->signalled == id; };
    if (s->has_deadline) {
      s->wake.wait_until(lock, s->deadline, ended);
    } else {
      s->wake.wait(lock, ended);
    }
    if (s->stop) return;
    if (!s->armed || s->id != id) continue;
    const bool timed_out = s->signalled != id;
    s->armed = false;
    TFire fire = std::move(s->fire);
    s->fire = nullptr;
    lock.unlock();
    if (fire) fire(timed_out);
    // The owner may be gone now; only the shared state is touched from here on.
    fire = nullptr;
    lock.lock();
  }
}

}  // namespace kalvort
