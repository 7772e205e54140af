#include "drive/disk_sequence_locks.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "text/text_helpers.h"

namespace ds {

std::string SimulatedDiskLockFolder(const std::string& machineFolder) {
  std::error_code error;
  std::string folder = std::filesystem::temp_directory_path(error).string();
  if (error || folder.empty())
    folder = "/tmp";
  if (folder.back() != '/')
    folder += '/';
  // Simulated machines may have drive folders of one name: one folder of locks each.
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a of the machine's folder
  for (unsigned char c :
       std::filesystem::absolute(machineFolder, error).lexically_normal().string())
    hash = (hash ^ c) * 1099511628211ull;
  char name[24];
  std::snprintf(name, sizeof name, "%016llx/", static_cast<unsigned long long>(hash));
  return folder + "norvik-drivesentinel-sim-" + std::to_string(::geteuid()) + "/" + name;
}

DiskSequenceLocks::Hold::~Hold() {
  if (locks_ != nullptr)
    locks_->Release(key_);
}

std::string DiskSequenceLocks::LockFileName(const std::string& diskKey) {
  std::string_view key = diskKey;
  while (!key.empty() && key.back() == '/')
    key.remove_suffix(1);  // a simulated drive folder ends in "/"
  std::string name(key.substr(key.find_last_of('/') + 1));
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.')
      c = '_';
  }
  if (name.empty() || name == "." || name == "..")
    name = "disk";
  return name + ".lock";
}

std::optional<DiskSequenceLocks::Hold> DiskSequenceLocks::Acquire(const std::string& diskKey,
                                                                  std::string* message) {
  const auto end = std::chrono::steady_clock::now() + wait_;
  const std::thread::id self = std::this_thread::get_id();
  const std::string busy = diskKey + " is in use by another sequence of commands; skipped";
  {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[diskKey];
    if (slot.depth > 0 && slot.owner == self) {
      ++slot.depth;
      return Hold(this, diskKey);
    }
    if (!freed_.wait_until(lock, end, [&] { return slots_[diskKey].depth == 0; })) {
      SetMessage(message, busy);
      return std::nullopt;
    }
    Slot& free = slots_[diskKey];
    free.owner = self;
    free.depth = 1;
  }
  // The file lock is taken outside the table's mutex: other disks need not wait for it.
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
  DiskLockFile file;
  std::string problem;
  const DiskLockFile::Outcome outcome = file.Acquire(
      folder_, LockFileName(diskKey), std::max(left, std::chrono::milliseconds(0)), &problem);
  if (outcome != DiskLockFile::Outcome::kAcquired) {
    SetMessage(message, outcome == DiskLockFile::Outcome::kTimedOut
                            ? diskKey + " is in use by another program; skipped"
                            : "cannot lock " + diskKey + ": " + problem);
    Release(diskKey);
    return std::nullopt;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  slots_[diskKey].file = std::move(file);
  return Hold(this, diskKey);
}

void DiskSequenceLocks::Release(const std::string& key) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[key];
    if (--slot.depth > 0)
      return;
    slot.file.Release();
    slot.owner = {};
  }
  freed_.notify_all();
}

}  // namespace ds
