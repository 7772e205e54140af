#pragma once

#include <string>

#include "platform/process_launcher.h"

// Starting the program at system startup, the Linux way: a systemd service that runs the
// program with "/autostart" as root (it reads raw disks) and without a window; the shell
// is opened from a browser with "drivesentinel --open".
namespace ds {

inline constexpr const char* kServiceName = "norvik-drivesentinel.service";
inline constexpr const char* kSystemUnitFolder = "/etc/systemd/system/";

// The unit file for `programPath`. False when the path cannot be written into a unit
// safely (relative, or holding control characters).
bool ServiceUnitText(const std::string& programPath, std::string* unit);

// Writes the unit into `unitFolder`, reloads systemd and enables the service. Where
// systemd does not run (`systemdRunning` false) nothing is installed and `message` says so.
bool InstallAutostartService(const std::string& programPath, const std::string& unitFolder,
                             bool systemdRunning, ProcessLauncher& launcher, std::string* message);

// True when systemd is the running service manager.
bool SystemdRunning();

}  // namespace ds
