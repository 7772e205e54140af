#include "app/page_worker.h"

namespace ds {

PageWorker::PageWorker(std::size_t capacity)
    : capacity_(capacity), thread_([this](std::stop_token stop) { Run(stop); }) {}

PageWorker::~PageWorker() {
  Stop();
}

void PageWorker::Post(Job job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_)
      return;
    if (jobs_.size() >= capacity_)
      jobs_.pop_front();
    jobs_.push_back(std::move(job));
  }
  changed_.notify_one();
}

void PageWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    jobs_.clear();
  }
  thread_.request_stop();
  changed_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
    thread_.join();
}

void PageWorker::Run(std::stop_token stop) {
  while (true) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, stop, [this] { return !jobs_.empty(); });
      if (stop.stop_requested())
        return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job(stop);
  }
}

}  // namespace ds
