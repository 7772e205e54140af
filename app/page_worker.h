#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

// One background thread that runs the window's page builds one after another, so a slow
// disk holds up its page and never the window. When builds pile up (a user clicking
// through the tabs of a slow disk) the oldest waiting one is dropped: only the newest
// requests still matter to what the window shows.
namespace ds {

class PageWorker {
 public:
  using Job = std::function<void(std::stop_token)>;

  explicit PageWorker(std::size_t capacity = 8);
  ~PageWorker();
  PageWorker(const PageWorker&) = delete;
  PageWorker& operator=(const PageWorker&) = delete;

  // Queues a job; nothing after Stop.
  void Post(Job job);
  // Drops what waits, asks the running job to stop and waits for it.
  void Stop();

 private:
  void Run(std::stop_token stop);

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::deque<Job> jobs_;
  bool stopped_ = false;
  std::jthread thread_;  // last: starts after the fields above exist
};

}  // namespace ds
