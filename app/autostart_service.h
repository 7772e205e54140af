#pragma once

#include <string>

#include "platform/process_launcher.h"

// Starting the program at system startup, the Linux way: a systemd service that runs the
// program with "/autostart" as root (it reads raw disks) and without a window; the shell
// is opened from a browser with "drivesentinel --open".
namespace ds {

inline constexpr const char* kServiceName = "norvik-drivesentinel.service";
inline constexpr const char* kSystemUnitFolder = "/etc/systemd/system/";
// Where the Debian package installs its hardened unit of the same name.
inline constexpr const char* kPackagedUnitFolder = "/lib/systemd/system/";

// The two places a unit of kServiceName can come from.
struct ServiceUnitFolders {
  std::string packaged = kPackagedUnitFolder;  // brought by the package, never written
  std::string local = kSystemUnitFolder;       // written by the program when no package did
};

// The unit file for `programPath`. False when the path cannot be written into a unit
// safely (relative, or holding control characters).
bool ServiceUnitText(const std::string& programPath, std::string* unit);

// True when the ExecStart line of `unitText` runs the program `programPath`: its first word,
// bare or double-quoted with backslash escapes.
bool UnitStartsProgram(const std::string& unitText, const std::string& programPath);

// Enables the service. When the packaged unit starts this very program it is enabled as it
// stands; otherwise the program writes its own unit into the local folder and reloads
// systemd first. Where systemd does not run (`systemdRunning` false) nothing is installed
// and `message` says so.
bool InstallAutostartService(const std::string& programPath, const ServiceUnitFolders& folders,
                             bool systemdRunning, ProcessLauncher& launcher, std::string* message);

// True when systemd is the running service manager.
bool SystemdRunning();

}  // namespace ds
