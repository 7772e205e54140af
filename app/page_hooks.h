#pragma once

#include "app/main_dialog.h"
#include "app/registry.h"
#include "app/startup.h"
#include "pages/system_info.h"
#include "platform/disk_system.h"

// Plugs the report pages into the window: the builders of the Disk Information,
// S.M.A.R.T. and System Information tabs. Each builder runs with the window's lock held,
// refreshes the drive list first and writes its page into the data folder; the window
// then shows it. `disks` and `registry` outlive the dialog; call after WireDriveHooks.
namespace ds {

void WirePageBuilders(MainDialog& dialog, const StartupPlatform& platform, DiskSystem& disks,
                      Registry& registry, const SystemInfo& systemInfo);

}  // namespace ds
