#include "platform/waiting_thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace ds {
namespace {

// The body runs on a stack no larger than asked for and is joined, also after a move.
TEST(WaitingThreadTest, RunsOnASmallStackAndIsJoined) {
  std::size_t stack = 0;
  std::atomic<int> runs{0};
  WaitingThread first([&] {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_getattr_np(pthread_self(), &attributes), 0);
    pthread_attr_getstacksize(&attributes, &stack);
    pthread_attr_destroy(&attributes);
    ++runs;
  });
  WaitingThread moved(std::move(first));
  EXPECT_FALSE(first.joinable());
  moved.join();
  EXPECT_FALSE(moved.joinable());
  EXPECT_GT(stack, 0u);
  EXPECT_LE(stack, WaitingThread::kStackBytes);
  {
    WaitingThread([&] { ++runs; });
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace ds
