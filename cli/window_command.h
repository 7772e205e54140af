#pragma once

#include <string>
#include <vector>

// The window: parses the run mode (cli/run_options.h), keeps one instance per home folder,
// serves the window and runs it, with the monitor, until it is closed.
namespace ds {

// `args` are the program's arguments; `install` the executable's folder. Writes to standard
// output and error; exit codes as cli/exit_codes.h says.
int RunWindowCommand(const std::vector<std::string>& args, const std::string& install);

}  // namespace ds
