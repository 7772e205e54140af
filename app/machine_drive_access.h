#pragma once

#include <map>
#include <mutex>
#include <string>

#include "app/drive_access.h"
#include "drive/message_sink.h"
#include "platform/disk_system.h"

// DriveAccess on the chosen machine (real or simulated): enumeration and the S.M.A.R.T.
// read of the drive layer. Messages of the disk layer ("GetSmartData NG") go to `messages`
// (the log) and to the call's `shown`; the caller shows them once its read is done, so no
// modal box ever stops a read half-way. A disk that is being erased answers no command:
// the list keeps the record it last had.
namespace ds {

class MachineDriveAccess : public DriveAccess {
 public:
  // `disks` outlives this object.
  MachineDriveAccess(DiskSystem& disks, std::string baseBoardProduct, MessageSink messages);

  DriveList RefreshDriveList(const MessageSink& shown) override;
  bool ReadDrive(const DriveRecord& drive, const AttributeTable& table, SmartSnapshot* snapshot,
                 const MessageSink& shown) override;
  bool Asleep(const DriveRecord& drive) override;

  DiskSystem& disks() { return disks_; }

 private:
  // The log, and `shown` when there is one.
  MessageSink Both(const MessageSink& shown) const;

  DiskSystem& disks_;
  const std::string baseBoardProduct_;
  const MessageSink messages_;
  std::mutex mutex_;                        // guards lastRecords_
  std::map<int, DriveRecord> lastRecords_;  // by drive number, of the last enumeration
};

}  // namespace ds
