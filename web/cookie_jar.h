#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

// The cookie store of the data folder: the page inputs the browser sent as cookies with
// requests under the window's data folder, the latest value of each, with the run's name
// prefix removed (the server keeps only this run's cookies, see web/input_cookies.h). The
// page-input poll reads the page scripts' cookies from here. Every request that carried
// such cookies counts as a new generation, so a worker that starts with a click can wait
// for the cookies the page stored after it.
namespace ds {

class CookieJar {
 public:
  // The largest cookie text kept; a longer one is taken as a failed read (empty). The intake
  // (web/input_cookies.h) hands on at most 64 inputs of a browser cookie's 4096 bytes each.
  static constexpr std::size_t kMaxBytes = 64 * (4096 + 2);

  void Store(std::string text) {
    if (text.size() > kMaxBytes)
      text.clear();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      text_ = std::move(text);
      ++generation_;
    }
    stored_.notify_all();
  }
  std::string Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }
  // How many cookie headers were stored so far.
  std::uint64_t generation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return generation_;
  }
  // Waits until a header newer than `generation` was stored; false when none came in time.
  bool WaitNewer(std::uint64_t generation, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return stored_.wait_for(lock, limit, [&] { return generation_ > generation; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable stored_;
  std::string text_;
  std::uint64_t generation_ = 0;
};

}  // namespace ds
