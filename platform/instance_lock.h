#pragma once

#include <string>

// One running instance per program folder: an exclusive lock on a lock file, held until
// the object is destroyed or the process ends (the system drops it even after a crash).
namespace ds {

class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // True when this process now holds the lock on `path` (created owner-only when
  // missing); false when another process holds it or the file cannot be opened.
  bool Acquire(const std::string& path);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace ds
