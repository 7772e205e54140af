#include "mailer/run_deadline.h"

#include <unistd.h>

#include <cstdio>

namespace ds {

RunDeadline::RunDeadline(std::chrono::milliseconds limit, std::function<int()> onTimeUp)
    : onTimeUp_(std::move(onTimeUp)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  watcher_ = std::thread([this, end] { Watch(end); });
}

RunDeadline::~RunDeadline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  watcher_.join();
}

void RunDeadline::Record(const std::function<int()>& write) {
  std::lock_guard<std::mutex> lock(mutex_);
  exitCode_ = write();
  recorded_ = true;
}

void RunDeadline::Watch(std::chrono::steady_clock::time_point end) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (changed_.wait_until(lock, end, [this] { return stopped_; }))
    return;
  if (!recorded_)
    exitCode_ = onTimeUp_();
  std::fflush(nullptr);
  ::_exit(exitCode_);  // the transfer may be blocked in any call; nothing else is owed
}

}  // namespace ds
