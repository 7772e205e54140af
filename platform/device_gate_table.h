#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

// Hands out one lock per disk so that every handle opened on the same disk shares it:
// the monitor thread and a page build may each open the disk, and their commands must
// not interleave. Owned by whoever owns the device opener.
namespace ds {

class DeviceGateTable {
 public:
  // The lock of the disk called `key` (its device path), created on first use.
  std::shared_ptr<std::recursive_mutex> GateFor(const std::string& key);

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<std::recursive_mutex>> gates_;
};

}  // namespace ds
