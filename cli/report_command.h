#pragma once

#include <ostream>
#include <string>
#include <vector>

// The report sub-command:
//
//   drivesentinel report [--demo | --sim DIR] [--home DIR] [--drive N | --all] [--json]
//
// Every kept disk (or disk N of the kept list) with its identity, capacity, modes,
// features, temperature and attribute table; --json gives every field by name. Exit codes
// as cli/exit_codes.h says; with some disk unreadable the report is still complete.
namespace ds {

// `args` are the words after "report"; `installFolder` the executable's folder.
int RunReportCommand(const std::vector<std::string>& args, const std::string& installFolder,
                     std::ostream& out, std::ostream& err);

}  // namespace ds
