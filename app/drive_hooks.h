#pragma once

#include "app/main_dialog.h"
#include "app/startup.h"
#include "platform/disk_system.h"

// Connects the window and the start-up to the machine's disks: the drive list, the
// series code, the maker's-disk test, the description tables and the S.M.A.R.T. read of
// the selected drive. `disks` outlives the dialog.
namespace ds {

void WireDriveHooks(MainDialog& dialog, StartupPlatform& platform, DiskSystem& disks);

// The selected drive's record, or nullptr when no drive is kept.
const DriveRecord* SelectedDrive(const MainDialog& dialog);

}  // namespace ds
