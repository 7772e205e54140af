#pragma once

#include <ostream>
#include <string>
#include <vector>

// The drive report sub-command: what the program sees of each kept (ATA/SATA) disk, as
// readable text or as JSON with every DriveRecord and SmartSnapshot field under its
// own name.
//
//   drivesentinel report [--demo | --sim DIR] [--drive N | --all] [--json] [--home DIR]
//
//   --demo      the sample machine of the program folder (data/sim/demo)
//   --sim DIR   a simulated machine folder
//   (neither)   the real disks of this machine; needs root
//   --drive N   only the disk at index N of the kept list (as the pages number them)
//   --all       every kept disk (the default)
//   --json      JSON instead of text
//   --home DIR  the program folder (default: the executable's folder)
//
// Exit codes: 0 done; 1 no ATA/SATA disk, or a disk's S.M.A.R.T. data could not be read;
// 2 bad arguments; 3 no rights to the disks or the simulated machine does not load.
namespace ds {

inline constexpr int kReportOk = 0;
inline constexpr int kReportNoDisks = 1;
inline constexpr int kReportUsage = 2;
inline constexpr int kReportNoAccess = 3;

// `args` are the words after "report"; `home` the program folder with a trailing "/".
int RunDriveReport(const std::vector<std::string>& args, const std::string& home, std::ostream& out,
                   std::ostream& err);

}  // namespace ds
