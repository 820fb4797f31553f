// The single-job worker behind the desktop program's status poll: one job at a time, a job offered
// meanwhile refused, waiting for the running job, and the hand-over of its results (TSan checks it).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

#include "base/SingleJobWorker.h"

using namespace std::chrono_literals;

namespace kalvort {
namespace {

TEST(SingleJobWorker, RefusesASecondJobWhileOneRunsAndAcceptsAfterwards) {
  SingleJobWorker worker;
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::atomic<int> ran{0};
  ASSERT_TRUE(worker.TryRun([&, gate] {
    gate.wait();
    ++ran;
  }));
  EXPECT_TRUE(worker.Busy());
  EXPECT_FALSE(worker.TryRun([&] { ran += 100; }));
  EXPECT_FALSE(worker.WaitIdleFor(20ms));
  release.set_value();
  worker.WaitIdle();
  EXPECT_FALSE(worker.Busy());
  EXPECT_EQ(ran.load(), 1);
  ASSERT_TRUE(worker.TryRun([&] { ++ran; }));
  worker.WaitIdle();
  EXPECT_EQ(ran.load(), 2);
  EXPECT_EQ(worker.JobsRun(), 2u);
}

// The owner reads what the job wrote, without a lock of its own, once WaitIdle has returned; and
// the job's captures are destroyed before that.
TEST(SingleJobWorker, WaitIdleHandsOverTheJobsWrites) {
  SingleJobWorker worker;
  std::vector<int> results;
  auto guard = std::make_shared<int>(7);
  std::weak_ptr<int> watch = guard;
  for (int round = 0; round < 200; ++round) {
    int value = -1;
    while (!worker.TryRun([&value, round, guard] { value = round * *guard; })) {
    }
    worker.WaitIdle();
    results.push_back(value);
  }
  guard.reset();
  EXPECT_TRUE(watch.expired());
  for (int round = 0; round < 200; ++round) EXPECT_EQ(results[static_cast<size_t>(round)], round * 7);
}

TEST(SingleJobWorker, DestructionWaitsForTheRunningJob) {
  std::atomic<bool> finished{false};
  {
    SingleJobWorker worker;
    ASSERT_TRUE(worker.TryRun([&] {
      std::this_thread::sleep_for(30ms);
      finished = true;
    }));
  }
  EXPECT_TRUE(finished.load());
}

// Offers from several threads: never two jobs at once.
TEST(SingleJobWorker, NeverRunsTwoJobsAtOnce) {
  SingleJobWorker worker;
  std::atomic<int> running{0};
  std::atomic<int> overlap{0};
  std::atomic<int> accepted{0};
  std::vector<std::thread> offerers;
  for (int t = 0; t < 4; ++t) {
    offerers.emplace_back([&] {
      for (int i = 0; i < 300; ++i) {
        if (worker.TryRun([&] {
              if (running.fetch_add(1) != 0) ++overlap;
              std::this_thread::yield();
              running.fetch_sub(1);
            })) {
          ++accepted;
        }
      }
    });
  }
  for (auto &t : offerers) t.join();
  worker.WaitIdle();
  EXPECT_EQ(overlap.load(), 0);
  EXPECT_EQ(worker.JobsRun(), static_cast<unsigned long long>(accepted.load()));
}

}  // namespace
}  // namespace kalvort
