#pragma once

#include <optional>
#include <vector>

#include "drive/drive_record.h"
#include "monitor/alert_rules.h"
#include "store/history_records.h"
#include "store/settings.h"

// What the monitor needs of the window: its settings and page inputs, the selected disk,
// a read of it, and the Minimize of a logon start. The window implements it; tests give
// their own. No call is made with a lock of the monitor's held.
namespace ds {

// A copy of what a pass looks at.
struct MonitorView {
  AlertSettings alert;
  int active_rec = 0;
  int autostartLaunch = 0;
  std::optional<DriveRecord> drive;  // the selected disk, when there is one
  SmartSnapshot smart;               // of the disk read last
  HistoryStart historyStart;         // of the selected disk
};

// How a read of a disk ended.
enum class DiskRead {
  kUnread,  // failed, or the disk is busy being erased
  kRead,    // the S.M.A.R.T. data was read
  kAsleep,  // a spun-down disk was left asleep; its last reading stays
};

class MonitorWindow {
 public:
  virtual ~MonitorWindow() = default;
  // Reloads the alert settings from their file.
  virtual void ReloadAlertSettings() = 0;
  // The keeping poll of the page inputs: saves both settings files and reloads the start
  // record of the selected disk's history. The Tool page's values go to its form, never to
  // the stored alert settings a pass uses.
  virtual void TakeInPageInputs() = 0;
  virtual MonitorView View() = 0;
  // Reads the selected disk and publishes its snapshot.
  [[nodiscard]] virtual DiskRead ReadSelectedDrive() = 0;
  // The kept (ATA and SATA) disks.
  virtual std::vector<DriveRecord> KeptDrives() = 0;
  // Reads `drive` for the metrics into `snapshot` (which holds its last reading), apart
  // from the window's own snapshot; the same results as ReadSelectedDrive.
  [[nodiscard]] virtual DiskRead ReadForMetrics(const DriveRecord& drive,
                                                SmartSnapshot* snapshot) = 0;
  // The mounted volumes of disk `driveNumber` with their space.
  virtual std::vector<VolumeSpace> Volumes(int driveNumber) = 0;
  // Hides the window into the notification area.
  virtual void Minimize() = 0;
};

}  // namespace ds
