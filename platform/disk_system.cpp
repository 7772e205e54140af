#include "platform/disk_system.h"

namespace ds {

std::vector<DiskUse> DiskSystem::FindDiskUses(int /*driveNumber*/) {
  return {{DiskUse::Kind::kNotChecked, "this disk system cannot tell who uses its disks"}};
}

BusyMark DiskSystem::MarkBusy(int driveNumber) {
  const std::string key = DiskKey(driveNumber);
  if (key.empty() || !busy_->TryMark(key))
    return {};
  return BusyMark(busy_, key);
}

bool DiskSystem::IsBusy(int driveNumber) {
  const std::string key = DiskKey(driveNumber);
  return !key.empty() && busy_->Contains(key);
}

std::string DiskSystem::BusyMessage(int driveNumber) {
  return "physical drive " + std::to_string(driveNumber) +
         " is being erased; it takes no other commands until the erase ends";
}

}  // namespace ds
