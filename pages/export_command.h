#pragma once

#include <ostream>
#include <string>
#include <vector>

// The export sub-command: the workbooks of the S.M.A.R.T. and Health pages without the
// window, for headless machines.
//
//   drivesentinel export smart|identify|health --drive N [--demo | --sim DIR] [--home DIR] -o FILE
//
// Exit codes: 0 written; 1 no such disk, its data could not be read or the file could not
// be written; 2 bad arguments; 3 no rights to the disks or the simulated machine does not
// load.
namespace ds {

// `args` are the words after "export"; `home` the program folder with a trailing "/".
int RunExportCommand(const std::vector<std::string>& args, const std::string& home,
                     std::ostream& out, std::ostream& err);

}  // namespace ds
