#include "platform/waiting_thread.h"

#include <cstdlib>
#include <memory>
#include <utility>

namespace ds {
namespace {

void* RunBody(void* body) {
  std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
  (*owned)();
  return nullptr;
}

}  // namespace

WaitingThread::WaitingThread(std::function<void()> body) {
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  const bool small = pthread_attr_setstacksize(&attributes, kStackBytes) == 0;
  int result = pthread_create(&thread_, small ? &attributes : nullptr, RunBody, owned.get());
  pthread_attr_destroy(&attributes);
  if (result != 0)  // as std::thread would fail: the program cannot go on without it
    std::abort();
  owned.release();  // the thread owns it now
  started_ = true;
}

WaitingThread::WaitingThread(WaitingThread&& other) noexcept
    : thread_(other.thread_), started_(std::exchange(other.started_, false)) {}

WaitingThread& WaitingThread::operator=(WaitingThread&& other) noexcept {
  if (this != &other) {
    join();
    thread_ = other.thread_;
    started_ = std::exchange(other.started_, false);
  }
  return *this;
}

void WaitingThread::join() {
  if (started_)
    pthread_join(thread_, nullptr);
  started_ = false;
}

}  // namespace ds
