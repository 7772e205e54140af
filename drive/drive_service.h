#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "drive/secure_erase.h"
#include "drive/selftest.h"
#include "drive/vendor_pages.h"
#include "platform/disk_system.h"
#include "store/description_tables.h"
#include "text/status.h"

// The one way to the machine's disks: the window's pages, the monitor, the metrics and the
// sub-commands send every disk command through here. Each sequence of commands (an
// enumeration's IDENTIFY, a read, the vendor pages, an erase) holds its disk for itself,
// against the program's other threads and against other processes of the program; one that
// cannot have its disk in time is skipped with a message. Every call may take as long as a
// slow disk makes it: none is ever made with the window's state lock held. The machine's
// implementation is MachineDriveService; window tests give their own.
namespace ds {

// How a read of a disk ended.
enum class DiskRead {
  kUnread,  // failed: the disk did not answer
  kRead,    // the S.M.A.R.T. data was read
  kAsleep,  // a spun-down disk was left asleep; its last reading stays
  kBusy,    // being erased, or held by another sequence for the whole wait: not asked
};

// Whether a read may wake a spun-down disk: the user's own reads do, the monitor's do not.
enum class WakeDisk { kYes, kNo };

class DriveService {
 public:
  virtual ~DriveService() = default;

  // A fresh enumeration: the kept ATA and SATA disks. A disk being erased, here or by
  // another process, keeps the record it had.
  virtual DriveList RefreshDriveList(const MessageSink& shown) = 0;

  // Reads the S.M.A.R.T. state of `drive` into `snapshot` (which holds the previous state on
  // entry) with the attribute descriptions `table`. The texts of a failed read ("GetSmartData
  // NG", a disk in use) go to the log and to `shown`.
  [[nodiscard]] virtual DiskRead Read(const DriveRecord& drive, const AttributeTable& table,
                                      SmartSnapshot* snapshot, WakeDisk wake,
                                      const MessageSink& shown) = 0;

  // The mounted volumes with their space (no disk command).
  virtual std::vector<VolumeFacts> Volumes() { return {}; }

  // Where disk N sits on the machine ("/dev/sdb", a simulated drive's folder); "" unknown.
  virtual std::string DiskKey(int /*driveNumber*/) { return {}; }

  // True while disk N is being erased by this process.
  virtual bool IsBusy(int /*driveNumber*/) { return false; }

  // Ok when this process may send commands to the disks, else why not.
  virtual Status CheckAccess() { return Status::Ok(); }

  // The maker's vendor figure of the selected disk, or 0 (see ReadVendorFigure).
  virtual std::uint32_t ReadVendorFigure(const VendorReadTarget& /*target*/,
                                         std::string* /*message*/) {
    return 0;
  }

  // The erase of one disk: its target, what keeps it from being erased, and the erase.
  virtual bool CaptureEraseTarget(const DriveRecord& record, EraseTarget* target,
                                  std::string* message);
  virtual std::string EraseRefusal(int driveNumber);
  virtual EraseOutcome Erase(const EraseTarget& target, const EraseCallbacks& callbacks,
                             std::stop_token stop);

  // Starts (or aborts) an off-line self-test of disk N, whose serial must still be `serial`.
  virtual SelfTestOutcome SelfTest(int driveNumber, const std::string& serial, SelfTestKind kind);
};

}  // namespace ds
