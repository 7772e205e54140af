#pragma once

#include <mutex>
#include <string>

// The cookie store of the data folder: the Cookie header the browser last sent with a
// request under /data/, the server's own token cookie removed. The page-input poll reads
// the page scripts' cookies from here.
namespace ds {

class CookieJar {
 public:
  // The largest cookie text kept; a longer one is taken as a failed read (empty).
  static constexpr std::size_t kMaxBytes = 10239;

  void Store(std::string text) {
    if (text.size() > kMaxBytes)
      text.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    text_ = std::move(text);
  }
  std::string Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

}  // namespace ds
