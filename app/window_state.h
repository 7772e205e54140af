#pragma once

#include <string>
#include <vector>

#include "drive/drive_enumerator.h"
#include "drive/drive_record.h"
#include "store/description_tables.h"
#include "store/history_records.h"
#include "store/settings.h"
#include "web/window_look.h"

// Everything the window knows: the page shown, the selected disk and the kept drives, the
// settings, the S.M.A.R.T. state of the disk read last, the ini values and the facts read
// at start-up. MainDialog keeps the one live copy under its state lock; page builds, the
// monitor and the workers work on copies and hand changes back through MainDialog.
namespace ds {

// The disk a snapshot was read from: its number, model and serial (number -1: none).
struct SnapshotOwner {
  int driveNumber = -1;
  std::string model;
  std::string serial;

  static SnapshotOwner Of(const DriveRecord& drive) {
    return {drive.driveNumber, drive.model, drive.serial};
  }
  bool Is(const DriveRecord* drive) const {
    return drive != nullptr && drive->driveNumber == driveNumber && drive->model == model &&
           drive->serial == serial;
  }
};

struct WindowState {
  int currentPage = kPageHome;
  DisplaySettings display;  // selectedDisk, active_rec, health_display_type
  AlertSettings alert;      // the alert settings as stored: what the monitor and mails use
  // The Tool page's form while it is edited: the SSL switch and the values taken from the
  // page since Edit. Save stores it; nothing else reads it.
  AlertSettings toolForm;

  // The kept (ATA and SATA) disks of the last enumeration.
  int driveCount = 0;
  int enumeratedCount = 0;
  std::vector<int> driveIndexMap;
  std::vector<DriveRecord> drives;

  SmartSnapshot smart;                    // the S.M.A.R.T. state of the disk read last
  SnapshotOwner smartOwner;               // the disk `smart` was read from
  HistoryStart historyStart;              // start record of the selected disk's history
  AttributeTable attributeTable;          // S.M.A.R.T. attribute descriptions
  std::vector<std::string> identifyDesc;  // IDENTIFY item descriptions
  int modelSeries = 99;

  int internalMode = 0;
  int autostartLaunch = 0;
  int toolEditMode = 0;
  int eraseRunning = 0;
  int eraseProgress = 0;
  std::uint32_t vendorFigure = 0;  // of the last Internal page build, 0 when not read

  // From the ini file and the system at start-up.
  int peCycleLimit = 3000;
  int loadingTime = 1;
  std::string eulaFile;
  std::string makerAddress;  // opened by the logo button
  std::string exeFileName;
  std::string sataDriverDesc;
  std::string sataDriverVersion;
  std::string baseBoardProduct;

  // The kept drive at selectedDisk, or nullptr when there is none.
  const DriveRecord* SelectedDrive() const {
    if (display.selectedDisk < 0 || display.selectedDisk >= driveCount ||
        static_cast<std::size_t>(display.selectedDisk) >= drives.size()) {
      return nullptr;
    }
    return &drives[static_cast<std::size_t>(display.selectedDisk)];
  }

  // Takes a fresh drive list in.
  void SetDriveList(DriveList list) {
    driveCount = list.driveCount;
    enumeratedCount = list.enumeratedCount;
    driveIndexMap = std::move(list.driveIndexMap);
    drives = std::move(list.drives);
  }
};

}  // namespace ds
