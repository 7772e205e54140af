#pragma once

#include <condition_variable>
#include <mutex>

// A mutex that Clang's thread-safety analysis understands (-Wthread-safety, in the clang
// build): fields marked GUARDED_BY(mutex) may only be touched with it held, and a function
// marked EXCLUDES(mutex) may not be called with it held. With other compilers the marks are
// empty and this is a plain std::mutex.
#if defined(__clang__)
#define DS_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define DS_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) DS_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY DS_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) DS_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) DS_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) DS_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) DS_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) DS_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace ds {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }
  std::mutex& native() { return mutex_; }

 private:
  std::mutex mutex_;
};

// Holds a Mutex for its scope; Unlock/Lock let a caller step out for a blocking call.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() {
    if (held_)
      mutex_.unlock();
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  void Unlock() RELEASE() {
    held_ = false;
    mutex_.unlock();
  }
  void Lock() ACQUIRE() {
    mutex_.lock();
    held_ = true;
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

}  // namespace ds
