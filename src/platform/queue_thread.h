// Work handed to one thread of its own and done in the order it was handed in, so that
// work which can follow the code that produces it (making tens of thousands of small
// files, compressing a text) runs beside that code instead of after it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace tavex {

// At most `max_bytes` of items wait (as `size` counts them; one item larger than that
// still goes, alone), so memory stays flat however many items there are. The first
// exception the work throws is rethrown by the next Add or by Finish, and nothing more
// is done. Destroying the thread drops what was not yet done, and waits for the item in
// hand. Items are done in batches without the lock, and the thread is woken only when
// it sleeps, so tens of thousands of small items cost few wake-ups.
template <typename Item>
class QueueThread {
 public:
  QueueThread(std::function<void(Item&)> work, std::function<std::size_t(const Item&)> size, std::size_t max_bytes)
      : work_(std::move(work)), size_(std::move(size)), max_bytes_(max_bytes), thread_([this] { Run(); }) {}
  ~QueueThread() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  QueueThread(const QueueThread&) = delete;
  QueueThread& operator=(const QueueThread&) = delete;

  void Add(Item item) {
    const std::size_t bytes = size_(item);
    std::unique_lock<std::mutex> lock(mutex_);
    if (!error_ && queued_bytes_ != 0 && queued_bytes_ + bytes > max_bytes_) {
      producer_waiting_ = true;
      changed_.wait(lock, [&] { return error_ || queued_bytes_ == 0 || queued_bytes_ + bytes <= max_bytes_; });
      producer_waiting_ = false;
    }
    if (error_) std::rethrow_exception(error_);
    queued_bytes_ += bytes;
    queue_.push_back(std::move(item));
    // Woken only when it sleeps: tens of thousands of small items cost a few wake-ups.
    const bool wake = worker_waiting_;
    lock.unlock();
    if (wake) changed_.notify_all();
  }

  // Waits until every item handed in is done.
  void Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    producer_waiting_ = true;
    changed_.wait(lock, [&] { return error_ || (queue_.empty() && !busy_); });
    producer_waiting_ = false;
    if (error_) std::rethrow_exception(error_);
  }

 private:
  // Takes everything queued at once and does it outside the lock; the bytes done are
  // given back while the producer waits for room.
  void Run() {
    std::deque<Item> batch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      worker_waiting_ = true;
      changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      worker_waiting_ = false;
      if (stop_) return;
      batch.swap(queue_);
      busy_ = true;
      lock.unlock();
      std::size_t done_bytes = 0;
      std::exception_ptr error;
      while (!batch.empty() && !error && !stop_.load(std::memory_order_relaxed)) {
        try {
          work_(batch.front());
        } catch (...) {
          error = std::current_exception();
        }
        done_bytes += size_(batch.front());
        batch.pop_front();
        // Room is given back in quarters of the bound: a producer that waits is woken a
        // few times per bound's worth of items, not for each.
        if (!batch.empty() && done_bytes >= max_bytes_ / 4 && producer_waiting_.load(std::memory_order_relaxed)) {
          std::lock_guard<std::mutex> guard(mutex_);
          queued_bytes_ -= done_bytes;
          done_bytes = 0;
          changed_.notify_all();
        }
      }
      lock.lock();
      queued_bytes_ -= done_bytes;
      busy_ = false;
      const bool stop = error || stop_;
      if (stop) {
        if (error) error_ = error;
        batch.clear();
        queue_.clear();
        queued_bytes_ = 0;
      }
      if (stop || producer_waiting_) changed_.notify_all();
      if (stop) return;
    }
  }

  std::function<void(Item&)> work_;
  std::function<std::size_t(const Item&)> size_;
  std::size_t max_bytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::size_t queued_bytes_ = 0;
  bool busy_ = false;  // the thread holds items it took off the queue
  std::atomic<bool> stop_{false};  // read by the worker between items without the lock
  bool worker_waiting_ = false;
  std::atomic<bool> producer_waiting_{false};  // read by the worker without the lock
  std::exception_ptr error_;
  std::thread thread_;  // last: started once everything above is made
};

}  // namespace tavex
