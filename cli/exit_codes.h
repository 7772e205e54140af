#pragma once

// The exit codes of every sub-command (README and --help list them). A script can tell
// "nothing to do here" from "go and look at that disk".
namespace ds {

enum ExitCode : int {
  kExitOk = 0,              // everything asked for was read or written
  kExitFailure = 1,         // another failure: a file could not be written, a refused target
  kExitUsage = 2,           // bad arguments, or no such disk index
  kExitNoRights = 3,        // no rights to the disks, or the simulated machine does not load
  kExitNoDisk = 4,          // no ATA or SATA disk on this machine
  kExitDiskUnreadable = 5,  // a disk could not be read (the report stays complete)
  kExitRefused = 6,         // erase, selftest: refused before anything was sent to the disk
  // The erase alone:
  kExitEraseRefused = kExitRefused,
  kExitEraseFailed = 7,                  // not erased; no password is left set
  kExitEraseFailedPasswordMaybeSet = 8,  // not erased; the message says how to unlock
};

// The one exception: `status` answers as the checks of cron and Nagios/NRPE expect.
enum StatusExitCode : int {
  kStatusOk = 0,        // every watched disk within its limits
  kStatusWarning = 1,   // a rule fired at a disk's last reading
  kStatusCritical = 2,  // a watched disk is no longer present
  kStatusUnknown = 3,   // no rights, an unreadable or missing state, a usage error
};

inline constexpr const char* kExitCodesHelp =
    "Exit codes: 0 done; 1 failed (e.g. the file could not be written); 2 usage error or no\n"
    "such disk; 3 no rights to the disks (run as root) or the simulated machine does not\n"
    "load; 4 no ATA or SATA disk; 5 a disk could not be read; 6 erase or selftest refused\n"
    "(nothing was sent); erase only: 7 failed with no password left set, 8 failed and the\n"
    "password may be set.\n"
    "status alone: 0 OK; 1 WARNING, a rule fired; 2 CRITICAL, a watched disk is gone; 3\n"
    "UNKNOWN, no rights, no or an unreadable state, or a usage error.\n";

}  // namespace ds
