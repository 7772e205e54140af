#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

// A thread that spends its life waiting (a server's event loop in poll, a signal wait) and
// runs on a small stack of its own instead of the default 8 MiB: its address space and
// the pages it may leave touched stay small. It is joined by join() or by the destructor.
namespace ds {

class WaitingThread {
 public:
  // Enough for a server's loop with its library's TLS handshake, also under the sanitizers.
  static constexpr std::size_t kStackBytes = 512 * 1024;

  WaitingThread() = default;
  explicit WaitingThread(std::function<void()> body);
  ~WaitingThread() { join(); }
  WaitingThread(WaitingThread&& other) noexcept;
  WaitingThread& operator=(WaitingThread&& other) noexcept;
  WaitingThread(const WaitingThread&) = delete;
  WaitingThread& operator=(const WaitingThread&) = delete;

  bool joinable() const { return started_; }
  void join();

 private:
  pthread_t thread_{};
  bool started_ = false;
};

}  // namespace ds
