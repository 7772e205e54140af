#pragma once

#include "drive/drive_enumerator.h"
#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "store/description_tables.h"

// What the window needs of the machine's disks. Every call may send disk commands and take
// as long as a slow disk makes it; none is ever made with the window's state lock held.
// The program's implementation works on the chosen machine (MachineDriveAccess); tests
// give their own. The texts a failed read shows ("GetSmartData NG") always go to the log;
// `shown` also receives them when the user started the read and the window is to show them.
namespace ds {

class DriveAccess {
 public:
  virtual ~DriveAccess() = default;

  // A fresh enumeration: the kept ATA and SATA disks.
  virtual DriveList RefreshDriveList(const MessageSink& shown) = 0;

  // Reads the S.M.A.R.T. state of `drive` into `snapshot` (which holds the previous state on
  // entry) with the attribute descriptions `table`. True when the data sector was read.
  [[nodiscard]] virtual bool ReadDrive(const DriveRecord& drive, const AttributeTable& table,
                                       SmartSnapshot* snapshot, const MessageSink& shown) = 0;

  // True when `drive` has rotating media and is spun down: the monitor leaves it asleep.
  // Asks the disk (CHECK POWER MODE) only when it rotates; an SSD is never asleep.
  virtual bool Asleep(const DriveRecord& drive) = 0;
};

}  // namespace ds
