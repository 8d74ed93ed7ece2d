#include "platform/queue_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavex {
namespace {

std::size_t Length(const std::string& item) { return item.size(); }

// The work is done in the order it was handed in while the queue stays under its bound,
// and Finish returns only when all of it is done.
TEST(QueueThreadTest, DoesEveryItemInOrderUnderItsBound) {
  std::vector<std::string> done;  // the thread's until Finish
  QueueThread<std::string> thread(
      [&](std::string& item) {
        std::this_thread::sleep_for(std::chrono::microseconds(item.size() % 3 * 100));
        done.push_back(item);
      },
      Length, 16);
  std::vector<std::string> given;
  for (int i = 0; i < 200; ++i) {
    given.push_back(std::string(static_cast<std::size_t>(i % 9), 'x') + std::to_string(i));
    thread.Add(given.back());
  }
  thread.Add(std::string(100, 'y'));  // larger than the bound: goes alone
  given.push_back(std::string(100, 'y'));
  thread.Finish();
  EXPECT_EQ(done, given);
}

// The first failure stops the work: it is rethrown to the producer, later items are not
// done, and dropping the thread with items still queued neither hangs nor does them.
TEST(QueueThreadTest, FirstFailureReachesTheProducerAndStopsTheWork) {
  std::vector<std::string> done;
  {
    QueueThread<std::string> thread(
        [&](std::string& item) {
          if (item == "bad") throw std::runtime_error("disk full");
          done.push_back(item);
        },
        Length, 1 << 20);
    // The failure reaches whichever call comes after it: an Add when the thread is
    // quick, else Finish.
    bool thrown = false;
    try {
      thread.Add("a");
      thread.Add("bad");
      thread.Add("c");
      thread.Finish();
    } catch (const std::runtime_error&) {
      thrown = true;
    }
    EXPECT_TRUE(thrown);
    EXPECT_THROW(thread.Add("d"), std::runtime_error);
    EXPECT_THROW(thread.Finish(), std::runtime_error);
  }
  EXPECT_EQ(done, std::vector<std::string>{"a"});

  QueueThread<std::string> slow([](std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); },
                                Length, 1 << 20);
  for (int i = 0; i < 50; ++i) slow.Add("x");
}

}  // namespace
}  // namespace tavex
