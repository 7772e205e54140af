#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Ends the mail program when its time is up, whatever the transfer library is waiting for
// (a server that never answers the end of the body, or the closing QUIT). The outcome is
// recorded through Record; when the time is up before that, `onTimeUp` records a time-out
// instead. Either way the process then ends at once with the recorded exit code. The two
// never race: a recording holds the lock the time-up path takes.
namespace ds {

class RunDeadline {
 public:
  // `onTimeUp` writes the time-out result and returns the exit code to end with.
  RunDeadline(std::chrono::milliseconds limit, std::function<int()> onTimeUp);
  // Stops watching (the process goes on to end normally).
  ~RunDeadline();
  RunDeadline(const RunDeadline&) = delete;
  RunDeadline& operator=(const RunDeadline&) = delete;

  // Runs `write` (it records the outcome and returns the exit code) unless the time is
  // already up, in which case the process is ending and this never returns.
  void Record(const std::function<int()>& write);

 private:
  void Watch(std::chrono::steady_clock::time_point end);

  std::function<int()> onTimeUp_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool recorded_ = false;
  int exitCode_ = 0;
  std::thread watcher_;
};

}  // namespace ds
