#pragma once

#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

// The erase sub-command: the security erase of one disk for machines without a window.
//
//   drivesentinel erase --drive N --serial S [--demo | --sim DIR] [--home DIR]
//                       --yes-erase-all-data
//
//   --drive N   the disk at index N of the kept (ATA/SATA) list, as the report numbers it
//   --serial S  its serial number: the erase refuses a disk with another serial
//   --demo, --sim DIR, --home DIR   as for the report (default: this machine's disks)
//   --yes-erase-all-data   required: every byte on the disk is lost
//
// The same checks and methods as the window's erase; progress goes to standard error.
// SIGINT, SIGTERM and SIGHUP stop it between TRIM blocks, never inside the security erase.
namespace ds {

// Exit codes as cli/exit_codes.h says: 0 erased, 2 usage, 3 no rights, 4 no disk, 6 refused,
// 7 failed with no password left set, 8 failed with the password possibly set.

// `args` are the words after "erase"; `installFolder` the executable's folder.
int RunEraseCommand(const std::vector<std::string>& args, const std::string& installFolder,
                    std::ostream& out, std::ostream& err, std::stop_token stop = {});

// RunEraseCommand with SIGINT, SIGTERM and SIGHUP turned into a stop request, for main().
int RunEraseCommandWithSignals(const std::vector<std::string>& args,
                               const std::string& installFolder, std::ostream& out,
                               std::ostream& err);

}  // namespace ds
