#include "app/machine_drive_access.h"

#include "drive/power_mode.h"
#include "drive/read_drive.h"

namespace ds {

MachineDriveAccess::MachineDriveAccess(DiskSystem& disks, std::string baseBoardProduct,
                                       MessageSink messages)
    : disks_(disks),
      baseBoardProduct_(std::move(baseBoardProduct)),
      messages_(std::move(messages)) {}

MessageSink MachineDriveAccess::Both(const MessageSink& shown) const {
  return [this, &shown](std::string_view text) {
    if (messages_)
      messages_(text);
    if (shown)
      shown(text);
  };
}

DriveList MachineDriveAccess::RefreshDriveList(const MessageSink& shown) {
  DriveList list = ds::RefreshDriveList(disks_, Both(shown));
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<int, DriveRecord> records;
  for (const DriveRecord& record : list.drives)
    records[record.driveNumber] = record;
  // A busy disk could not answer IDENTIFY: it keeps the record it had before the erase.
  for (const auto& [number, record] : lastRecords_) {
    if (!disks_.IsBusy(number))
      continue;
    records[number] = record;
  }
  list.drives.clear();
  list.driveIndexMap.clear();
  for (auto& [number, record] : records) {
    list.drives.push_back(record);
    list.driveIndexMap.push_back(number);
  }
  list.driveCount = static_cast<int>(list.drives.size());
  lastRecords_ = std::move(records);
  return list;
}

bool MachineDriveAccess::Asleep(const DriveRecord& drive) {
  if (!IsRotatingDisk(drive.identifyWords))
    return false;
  AtaOpenMode mode;
  mode.readWrite = false;
  std::string message;
  std::unique_ptr<AtaDevice> device = disks_.Open(drive.driveNumber, mode, &message);
  return device != nullptr && CheckPowerMode(*device) == PowerState::kStandby;
}

bool MachineDriveAccess::ReadDrive(const DriveRecord& drive, const AttributeTable& table,
                                   SmartSnapshot* snapshot, const MessageSink& shown) {
  ReadDriveContext context;
  context.opener = &disks_;
  context.attributeTable = &table;
  context.selectedModel = drive.model;
  context.identifyWords = drive.identifyWords;
  context.baseBoardProduct = baseBoardProduct_;
  context.showMessage = Both(shown);
  return ds::ReadDrive(context, drive.driveNumber, snapshot);
}

}  // namespace ds
