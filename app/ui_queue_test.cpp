#include "app/ui_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace ds {
namespace {

TEST(UiQueueTest, RunsActionsInOrderOnOneThreadUntilStopped) {
  UiQueue queue(8);
  std::vector<int> order;
  std::thread::id runner;
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(queue.Post([&, i] { order.push_back(i), runner = std::this_thread::get_id(); }));
  ASSERT_TRUE(queue.Post([&] { queue.Stop(); }));
  ASSERT_TRUE(queue.Post([&] { order.push_back(99); }));  // dropped by Stop
  EXPECT_FALSE(queue.Post([] {}));                        // a full queue refuses a flood
  queue.Run();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(runner, std::this_thread::get_id());
  EXPECT_FALSE(queue.Post([] {}));
}

}  // namespace
}  // namespace ds
