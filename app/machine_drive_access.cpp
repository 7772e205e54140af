#include "app/machine_drive_access.h"

#include "drive/read_drive.h"

namespace ds {

MachineDriveAccess::MachineDriveAccess(DiskSystem& disks, std::string baseBoardProduct,
                                       MessageSink messages)
    : disks_(disks),
      baseBoardProduct_(std::move(baseBoardProduct)),
      messages_(std::move(messages)) {}

DriveList MachineDriveAccess::RefreshDriveList() {
  return ds::RefreshDriveList(disks_, messages_);
}

int MachineDriveAccess::ReadDrive(const DriveRecord& drive, const AttributeTable& table,
                                  SmartSnapshot* snapshot) {
  ReadDriveContext context;
  context.opener = &disks_;
  context.attributeTable = &table;
  context.selectedModel = drive.model;
  context.baseBoardProduct = baseBoardProduct_;
  context.showMessage = messages_;
  return ds::ReadDrive(context, drive.driveNumber, snapshot);
}

}  // namespace ds
