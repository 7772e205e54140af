#include "app/ui_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace ds {
namespace {

TEST(UiQueueTest, RunsActionsInOrderOnOneThreadUntilStopped) {
  UiQueue queue(1000);
  std::vector<int> order;
  std::thread::id runner;
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(queue.Post([&, i] {
      order.push_back(i);
      runner = std::this_thread::get_id();
    }));
  }
  ASSERT_TRUE(queue.Post([&] { queue.Stop(); }));
  ASSERT_TRUE(queue.Post([&] { order.push_back(99); }));  // dropped by Stop
  queue.Run();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(runner, std::this_thread::get_id());
  EXPECT_FALSE(queue.Post([] {}));
}

TEST(UiQueueTest, AFloodIsRefusedOnceTheQueueIsFull) {
  UiQueue queue(8);
  int accepted = 0;
  for (int i = 0; i < 1000; ++i)
    accepted += queue.Post([] {}) ? 1 : 0;
  EXPECT_EQ(accepted, 8);
}

TEST(UiQueueTest, PostsFromOtherThreadsReachTheLoop) {
  UiQueue queue;
  std::atomic<int> ran{0};
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) {
      while (!queue.Post([&] { ++ran; }))
        std::this_thread::yield();
    }
    while (!queue.Post([&] { queue.Stop(); }))
      std::this_thread::yield();
  });
  queue.Run();
  poster.join();
  EXPECT_EQ(ran.load(), 100);
}

}  // namespace
}  // namespace ds
