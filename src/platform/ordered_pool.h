// Work spread over threads whose results come back in the order it was handed in: the
// book writer transforms entries on every core and still writes them in record order.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tavex {

// The number of worker threads to use for `requested` (0: one per processor core, at
// most kMaxDefaultWorkers: each worker keeps a compiled stylesheet and its own buffers,
// and beyond that many the one thread that reads and writes is the limit anyway).
inline constexpr std::size_t kMaxDefaultWorkers = 8;
inline std::size_t WorkerCount(std::size_t requested) {
  if (requested > 0) return requested;
  const std::size_t cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : std::min(cores, kMaxDefaultWorkers);
}

// Runs `work(worker, job)` for each submitted job on `workers` threads; `worker` is the
// number (0 … workers−1) of the thread that runs it, so each thread can own state of its
// own. Take hands back the results strictly in submission order, and rethrows there the
// exception a job ended with, so a caller sees the same first failure whatever the
// threads did. With one worker the jobs run on the caller's thread inside Submit.
// The caller bounds the work in flight: Submit never waits, so a caller keeps at most a
// few jobs per worker unconsumed (see in_flight()).
// Destroying the pool discards what was not taken; jobs already started run to their end.
template <typename Job, typename Result>
class OrderedPool {
 public:
  using Work = std::function<Result(std::size_t worker, Job& job)>;

  OrderedPool(std::size_t workers, Work work) : work_(std::move(work)) {
    if (workers <= 1) return;
    threads_.reserve(workers);
    for (std::size_t i = 0; i < workers; ++i) threads_.emplace_back([this, i] { Serve(i); });
  }

  ~OrderedPool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    job_ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  OrderedPool(const OrderedPool&) = delete;
  OrderedPool& operator=(const OrderedPool&) = delete;

  void Submit(Job job) {
    const std::size_t sequence = submitted_++;
    if (threads_.empty()) {
      done_.emplace(sequence, Run(0, job));
      return;
    }
    {
      std::lock_guard lock(mutex_);
      pending_.emplace_back(sequence, std::move(job));
    }
    job_ready_.notify_one();
  }

  // Jobs submitted and not yet taken.
  std::size_t in_flight() const { return submitted_ - taken_; }

  // The result of the oldest job not yet taken, waiting for it; its exception is thrown.
  // Must not be called with nothing in flight.
  Result Take() {
    Outcome outcome;
    {
      std::unique_lock lock(mutex_);
      result_ready_.wait(lock, [this] { return done_.count(taken_) > 0; });
      auto it = done_.find(taken_);
      outcome = std::move(it->second);
      done_.erase(it);
    }
    ++taken_;
    if (outcome.error) std::rethrow_exception(outcome.error);
    return std::move(*outcome.result);
  }

 private:
  struct Outcome {
    std::optional<Result> result;
    std::exception_ptr error;
  };

  Outcome Run(std::size_t worker, Job& job) {
    Outcome outcome;
    try {
      outcome.result.emplace(work_(worker, job));
    } catch (...) {
      outcome.error = std::current_exception();
    }
    return outcome;
  }

  void Serve(std::size_t worker) {
    for (;;) {
      std::pair<std::size_t, Job> next;
      {
        std::unique_lock lock(mutex_);
        job_ready_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (stopping_) return;
        next = std::move(pending_.front());
        pending_.pop_front();
      }
      Outcome outcome = Run(worker, next.second);
      {
        std::lock_guard lock(mutex_);
        done_.emplace(next.first, std::move(outcome));
      }
      result_ready_.notify_one();
    }
  }

  Work work_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable result_ready_;
  std::deque<std::pair<std::size_t, Job>> pending_;  // guarded by mutex_
  std::map<std::size_t, Outcome> done_;              // by sequence; guarded by mutex_
  bool stopping_ = false;                            // guarded by mutex_
  std::size_t submitted_ = 0;                        // the caller's thread only
  std::size_t taken_ = 0;                            // the caller's thread only
};

}  // namespace tavex
