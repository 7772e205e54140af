#include "platform/busy_mark.h"

namespace ds {

bool BusyDiskTable::TryMark(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return keys_.insert(key).second;
}

void BusyDiskTable::Release(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  keys_.erase(key);
}

bool BusyDiskTable::Contains(const std::string& key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return keys_.count(key) != 0;
}

BusyMark& BusyMark::operator=(BusyMark&& other) noexcept {
  if (this != &other) {
    Release();
    table_ = std::move(other.table_);
    key_ = std::move(other.key_);
  }
  return *this;
}

void BusyMark::Release() {
  if (table_)
    table_->Release(key_);
  table_.reset();
}

}  // namespace ds
