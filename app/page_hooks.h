#pragma once

#include "app/main_dialog.h"
#include "app/registry.h"
#include "app/startup.h"
#include "pages/system_info.h"
#include "platform/disk_system.h"
#include "store/history_date.h"

// Plugs the report pages into the window: the builders of the Disk Information, Health,
// S.M.A.R.T. and System Information tabs, the health export and the sample history. Each builder
// runs with the window's lock held, refreshes the drive list first and writes its page into the
// data folder; the window then shows it. `disks` and `registry` outlive the dialog; call after
// WireDriveHooks.
namespace ds {

// `today` gives the local date of the history (LocalToday in the program).
void WirePageBuilders(MainDialog& dialog, const StartupPlatform& platform, DiskSystem& disks,
                      Registry& registry, const SystemInfo& systemInfo,
                      const LocalDateSource& today);

// The history start record at start-up: the selected drive's start record is loaded (and
// written on its first day). On the sample machine its series-0 drives first get a year of
// generated history, once.
void WireHistoryStart(StartupPlatform& platform, DiskSystem& disks, bool demoMachine,
                      const LocalDateSource& today);

}  // namespace ds
