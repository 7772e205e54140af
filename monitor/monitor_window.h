#pragma once

#include <optional>
#include <vector>

#include "drive/drive_record.h"
#include "drive/drive_service.h"
#include "monitor/alert_rules.h"
#include "store/description_tables.h"
#include "store/history_records.h"
#include "store/settings.h"

// What the monitor needs of the window: its settings and page inputs, the kept disks and
// the selected one, a place to publish the selected disk's reading, and the Minimize of a
// logon start. The monitor reads the disks itself, through the drive service. The window
// implements it; tests give their own. No call is made with a lock of the monitor's held.
namespace ds {

// A copy of what a pass looks at.
struct MonitorView {
  AlertSettings alert;
  int active_rec = 0;
  int autostartLaunch = 0;
  std::vector<DriveRecord> drives;   // the kept (ATA and SATA) disks
  std::optional<DriveRecord> drive;  // the selected disk, when there is one
  SmartSnapshot smart;               // of the disk read last
  AttributeTable attributeTable;     // the descriptions of the selected disk's series
  HistoryStart historyStart;         // of the selected disk
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
  // A reading of `drive` (read or not: a failed read empties it) becomes the window's
  // snapshot, unless the selection has moved on to another disk meanwhile.
  virtual void PublishReading(const DriveRecord& drive, const SmartSnapshot& snapshot) = 0;
  // Hides the window into the notification area.
  virtual void Minimize() = 0;
};

}  // namespace ds
