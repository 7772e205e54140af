#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "store/history_date.h"

// The export sub-command: the workbooks of the S.M.A.R.T. and Health pages without the
// window, for headless machines.
//
//   drivesentinel export smart|identify|health --drive N [--demo | --sim DIR] [--home DIR]
//                        -o FILE
//
// "health" writes the erase-count history of a disk of the maker's X50/X55 series; it reads
// the history and never starts one. -o names a file of the caller's: an existing device,
// FIFO, socket or folder is refused, and a symbolic link is followed only when it is the
// caller's own and does not lie in a shared sticky folder. Exit codes: cli/exit_codes.h.
namespace ds {

// `args` are the words after "export"; `installFolder` the executable's folder; `today`
// the local date the history runs to.
int RunExportCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     const LocalDateSource& today, std::ostream& out, std::ostream& err);

}  // namespace ds
