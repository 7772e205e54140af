#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

// The disks that are being erased, so that nothing else sends them commands meanwhile.
namespace ds {

// Keys (DiskSystem::DiskKey) of the disks marked busy. Shared by a disk system and the
// marks it handed out, so a mark may outlive the disk system that made it.
class BusyDiskTable {
 public:
  // Marks `key` busy; false when it already is.
  bool TryMark(const std::string& key);
  void Release(const std::string& key);
  bool Contains(const std::string& key) const;

 private:
  mutable std::mutex mutex_;
  std::set<std::string> keys_;
};

// Keeps one disk marked busy for as long as it lives. An empty mark (false) marks nothing.
class BusyMark {
 public:
  BusyMark() = default;
  // Takes over a mark already made in `table`.
  BusyMark(std::shared_ptr<BusyDiskTable> table, std::string key)
      : table_(std::move(table)), key_(std::move(key)) {}
  ~BusyMark() { Release(); }

  BusyMark(BusyMark&& other) noexcept
      : table_(std::move(other.table_)), key_(std::move(other.key_)) {}
  BusyMark& operator=(BusyMark&& other) noexcept;
  BusyMark(const BusyMark&) = delete;
  BusyMark& operator=(const BusyMark&) = delete;

  explicit operator bool() const { return table_ != nullptr; }
  const std::string& key() const { return key_; }

 private:
  void Release();

  std::shared_ptr<BusyDiskTable> table_;
  std::string key_;
};

}  // namespace ds
