#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

// The message loop of the window: actions posted from any thread run one after another on
// the thread that calls Run. The queue is bounded so a flood of clicks cannot grow memory
// without limit; a full queue refuses the post.
namespace ds {

class UiQueue {
 public:
  explicit UiQueue(std::size_t capacity = 256) : capacity_(capacity) {}

  // False when the queue is full or stopped.
  bool Post(std::function<void()> action);
  // Runs actions until Stop; actions already queued when Stop is called are dropped.
  void Run();
  void Stop();

 private:
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> actions_;
  bool stopped_ = false;
};

}  // namespace ds
