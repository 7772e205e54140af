#pragma once

#include <string>

// One running instance per home folder: an exclusive lock on a lock file, held until the
// object is destroyed or the process ends (the system drops it even after a crash).
namespace ds {

// The lock file of a home folder's running program, below the home folder.
inline constexpr const char* kInstanceLockFile = ".drivesentinel.lock";

class InstanceLock {
 public:
  enum class Outcome {
    kAcquired,       // this process holds the lock now
    kHeldElsewhere,  // another process holds it: another instance runs
    kFailed,         // the lock file cannot be made or opened (`message` says why)
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock on `path`, creating the file owner-only when missing.
  Outcome Acquire(const std::string& path, std::string* message = nullptr);
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace ds
