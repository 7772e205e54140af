#include "platform/waiting_thread.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

// The body runs on a stack no larger than asked for and is joined, also after a move.
TEST(WaitingThreadTest, RunsOnASmallStackAndIsJoined) {
  std::size_t stack = 0;
  WaitingThread first([&stack] {
    pthread_attr_t attributes;
    pthread_getattr_np(pthread_self(), &attributes);
    pthread_attr_getstacksize(&attributes, &stack);
    pthread_attr_destroy(&attributes);
  });
  WaitingThread moved(std::move(first));
  moved.join();
  EXPECT_FALSE(first.joinable() || moved.joinable());
  EXPECT_GT(stack, 0u);
  EXPECT_LE(stack, WaitingThread::kStackBytes);
}

}  // namespace
}  // namespace ds
