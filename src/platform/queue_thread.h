// Work handed to one thread of its own and done in the order it was handed in, so that
// work which can follow the code that produces it (making tens of thousands of small
// files, compressing a text) runs beside that code instead of after it.
#pragma once

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
// hand.
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
    changed_.wait(lock, [&] { return error_ || queue_.empty() || queued_bytes_ + bytes <= max_bytes_; });
    if (error_) std::rethrow_exception(error_);
    queued_bytes_ += bytes;
    queue_.push_back(std::move(item));
    lock.unlock();
    changed_.notify_all();
  }

  // Waits until every item handed in is done.
  void Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return error_ || (queue_.empty() && !busy_); });
    if (error_) std::rethrow_exception(error_);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      Item item = std::move(queue_.front());
      queue_.pop_front();
      const std::size_t bytes = size_(item);
      busy_ = true;
      lock.unlock();
      std::exception_ptr error;
      try {
        work_(item);
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      busy_ = false;
      queued_bytes_ -= bytes;
      if (error) {
        error_ = error;
        queue_.clear();
        queued_bytes_ = 0;
      }
      changed_.notify_all();
      if (error_) return;
    }
  }

  std::function<void(Item&)> work_;
  std::function<std::size_t(const Item&)> size_;
  std::size_t max_bytes_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::size_t queued_bytes_ = 0;
  bool busy_ = false;  // the thread holds an item it took off the queue
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread thread_;  // last: started once everything above is made
};

}  // namespace tavex
