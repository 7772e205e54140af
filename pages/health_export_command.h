#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "store/history_date.h"

// The health export sub-command: writes a drive's erase-count history workbook, as the
// Health page's export button does, without the window.
//
//   drivesentinel export health --drive N [--demo | --sim DIR] [--home DIR] -o FILE
//
//   --drive N   the disk at index N of the kept list (as the pages number them)
//   --demo      the sample machine of the program folder (data/sim/demo)
//   --sim DIR   a simulated machine folder
//   (neither)   the real disks of this machine; needs root
//   --home DIR  the program folder (default: the executable's folder)
//   -o FILE     the workbook to write
//
// Exit codes: 0 written; 1 no such disk, a disk of another series ("Unsupported!"), its
// S.M.A.R.T. data could not be read or the file could not be written; 2 bad arguments;
// 3 no rights to the disks or the simulated machine does not load.
namespace ds {

// `args` are the words after "export"; `home` the program folder with a trailing "/";
// `today` gives the local date the history runs to (LocalToday in the program).
int RunHealthExportCommand(const std::vector<std::string>& args, const std::string& home,
                           const LocalDateSource& today, std::ostream& out, std::ostream& err);

}  // namespace ds
