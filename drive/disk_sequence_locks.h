#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/disk_lock_file.h"

// Keeps a sequence of commands to one disk together: one sequence at a time per disk in
// this process (a thread that holds a disk may take it again, as an erase that reads its
// disk does) and, through the disk's lock file, across every process of the program. A
// sequence that cannot have its disk within the wait is skipped, never queued for good.
namespace ds {

// The folder of the lock files on a real machine.
inline constexpr const char* kDiskLockFolder = "/run/norvik-drivesentinel/";
// The folder of the lock files of the simulated machine in `machineFolder`: in the system's
// temporary folder, one per user and machine, so every run on that machine (whatever its
// home) meets the same locks and other machines' drive folders of the same name do not.
std::string SimulatedDiskLockFolder(const std::string& machineFolder);
// How long a sequence waits for a disk another sequence holds.
inline constexpr std::chrono::milliseconds kDiskLockWait{5000};

class DiskSequenceLocks {
 public:
  // Holds one disk until it is destroyed.
  class Hold {
   public:
    Hold(DiskSequenceLocks* locks, std::string key) : locks_(locks), key_(std::move(key)) {}
    ~Hold();
    Hold(Hold&& other) noexcept : locks_(other.locks_), key_(std::move(other.key_)) {
      other.locks_ = nullptr;
    }
    Hold& operator=(Hold&&) = delete;
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    DiskSequenceLocks* locks_;
    std::string key_;
  };

  DiskSequenceLocks(std::string folder, std::chrono::milliseconds wait)
      : folder_(std::move(folder)), wait_(wait) {}

  // Takes the disk whose DiskSystem::DiskKey is `diskKey`. Nothing, with `message`, when it
  // stayed held elsewhere for the whole wait or its lock file cannot be used.
  [[nodiscard]] std::optional<Hold> Acquire(const std::string& diskKey, std::string* message);

  // The lock file's name of a disk: the last part of its key (a trailing "/" dropped), with
  // anything but letters, digits, "-", "_" and "." made "_" ("/dev/sda" gives "sda.lock").
  static std::string LockFileName(const std::string& diskKey);

 private:
  struct Slot {
    std::thread::id owner;
    int depth = 0;
    DiskLockFile file;
  };
  void Release(const std::string& key);

  const std::string folder_;
  const std::chrono::milliseconds wait_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::map<std::string, Slot> slots_;  // by disk key
};

}  // namespace ds
