#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "drive/disk_sequence_locks.h"
#include "drive/drive_service.h"
#include "platform/disk_system.h"

// DriveService on the chosen machine (real or simulated): every sequence of commands takes
// its disk's lock (DiskSequenceLocks, lock files in `lockFolder`) first. Messages of the
// disk layer go to `log` and to the call's `shown`; the caller shows them once its work is
// done, so no message box ever stops a read half-way.
namespace ds {

class MachineDriveService : public DriveService {
 public:
  // `disks` outlives this object.
  MachineDriveService(DiskSystem& disks, std::string lockFolder, std::string baseBoardProduct,
                      MessageSink log, std::chrono::milliseconds lockWait = kDiskLockWait);

  DriveList RefreshDriveList(const MessageSink& shown) override;
  [[nodiscard]] DiskRead Read(const DriveRecord& drive, const AttributeTable& table,
                              SmartSnapshot* snapshot, WakeDisk wake,
                              const MessageSink& shown) override;
  std::vector<VolumeFacts> Volumes() override { return disks_.ListVolumes(); }
  std::string DiskKey(int driveNumber) override { return disks_.DiskKey(driveNumber); }
  bool IsBusy(int driveNumber) override { return disks_.IsBusy(driveNumber); }
  Status CheckAccess() override { return disks_.CheckAccess(); }
  std::uint32_t ReadVendorFigure(const VendorReadTarget& target, std::string* message) override;
  bool CaptureEraseTarget(const DriveRecord& record, EraseTarget* target,
                          std::string* message) override;
  std::string EraseRefusal(int driveNumber) override;
  EraseOutcome Erase(const EraseTarget& target, const EraseCallbacks& callbacks,
                     std::stop_token stop) override;
  SelfTestOutcome SelfTest(int driveNumber, const std::string& serial, SelfTestKind kind) override;

 private:
  // The log, and `shown` when there is one.
  MessageSink Both(const MessageSink& shown) const;
  // The keys of the disks of the last enumeration that rotate and are spun down now.
  std::set<std::string> SpunDownDisks();
  // Holds disk N for one sequence; nothing (with `message`) when it is not to be had.
  std::optional<DiskSequenceLocks::Hold> Hold(int driveNumber, std::string* message);

  DiskSystem& disks_;
  DiskSequenceLocks locks_;
  const std::string baseBoardProduct_;
  const MessageSink log_;
  std::mutex mutex_;                        // guards lastRecords_
  std::map<int, DriveRecord> lastRecords_;  // by drive number, of the last enumeration
};

}  // namespace ds
