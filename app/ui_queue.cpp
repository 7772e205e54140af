#include "app/ui_queue.h"

namespace ds {

bool UiQueue::Post(std::function<void()> action) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_ || actions_.size() >= capacity_)
    return false;
  actions_.push_back(std::move(action));
  changed_.notify_one();
  return true;
}

void UiQueue::Run() {
  while (true) {
    std::function<void()> action;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopped_ || !actions_.empty(); });
      if (stopped_)
        return;
      action = std::move(actions_.front());
      actions_.pop_front();
    }
    action();
  }
}

void UiQueue::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = true;
  actions_.clear();
  changed_.notify_all();
}

}  // namespace ds
