#pragma once

#include <chrono>
#include <string>

// The lock every process of the program takes on one disk around a sequence of commands to
// it: an exclusive advisory lock (flock) on a lock file named after the disk. The system
// drops it when the holder ends, even after a crash.
namespace ds {

class DiskLockFile {
 public:
  enum class Outcome {
    kAcquired,  // this object holds the lock now
    kTimedOut,  // someone else held it for the whole wait
    kFailed,    // the folder or the file cannot be made or opened (`message` says why)
  };

  DiskLockFile() = default;
  ~DiskLockFile();
  DiskLockFile(DiskLockFile&& other) noexcept;
  DiskLockFile& operator=(DiskLockFile&& other) noexcept;
  DiskLockFile(const DiskLockFile&) = delete;
  DiskLockFile& operator=(const DiskLockFile&) = delete;

  // Creates `folder` (owner-only) when missing, then waits up to `wait` for the lock on
  // the file `name` in it. `name` is a plain file name: no "/" and not "." or "..".
  [[nodiscard]] Outcome Acquire(const std::string& folder, const std::string& name,
                                std::chrono::milliseconds wait, std::string* message);
  bool held() const { return fd_ >= 0; }
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace ds
