#include "platform/ordered_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

namespace tavex {
namespace {

// Jobs that finish out of order (later ones sooner) still come back in submission order,
// every worker number stays in range, and the caller keeps the work in flight bounded.
TEST(OrderedPoolTest, ResultsComeBackInSubmissionOrder) {
  for (std::size_t workers : {1u, 2u, 5u}) {
    std::atomic<int> running{0};
    std::atomic<int> most_running{0};
    std::set<std::size_t> seen_workers;
    std::mutex seen_mutex;
    OrderedPool<int, std::string> pool(workers, [&](std::size_t worker, int& job) {
      const int now = ++running;
      for (int most = most_running; now > most && !most_running.compare_exchange_weak(most, now);) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds((job % 7) * 50));
      {
        std::lock_guard lock(seen_mutex);
        seen_workers.insert(worker);
      }
      --running;
      return "job " + std::to_string(job);
    });
    std::vector<std::string> results;
    for (int job = 0; job < 200; ++job) {
      if (pool.in_flight() >= 8) results.push_back(pool.Take());
      pool.Submit(job);
    }
    while (pool.in_flight() > 0) results.push_back(pool.Take());

    ASSERT_EQ(results.size(), 200u) << workers;
    for (int job = 0; job < 200; ++job) EXPECT_EQ(results[job], "job " + std::to_string(job)) << workers;
    EXPECT_LE(most_running.load(), static_cast<int>(workers));
    for (std::size_t worker : seen_workers) EXPECT_LT(worker, workers);
  }
}

// A failing job is reported when its turn comes, after every earlier result, whichever
// thread finished first; the pool can then be dropped with work still queued.
TEST(OrderedPoolTest, FirstFailureInOrderIsRethrownAtItsTurn) {
  for (std::size_t workers : {1u, 3u}) {
    OrderedPool<int, int> pool(workers, [](std::size_t, int& job) {
      if (job == 5 || job == 9) throw std::runtime_error("job " + std::to_string(job) + " failed");
      if (job < 5) std::this_thread::sleep_for(std::chrono::milliseconds(2));  // 9 fails first
      return job * 10;
    });
    for (int job = 0; job < 20; ++job) pool.Submit(job);
    for (int job = 0; job < 5; ++job) EXPECT_EQ(pool.Take(), job * 10);
    try {
      pool.Take();
      FAIL() << "no error";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "job 5 failed");
    }
    EXPECT_EQ(pool.Take(), 60);
  }
}

TEST(OrderedPoolTest, WorkerCountFollowsTheRequestOrTheCores) {
  EXPECT_EQ(WorkerCount(3), 3u);
  EXPECT_GE(WorkerCount(0), 1u);
  EXPECT_LE(WorkerCount(0), kMaxDefaultWorkers);
  EXPECT_EQ(WorkerCount(20), 20u);
}

}  // namespace
}  // namespace tavex
