#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The program's sub-commands in one table: what main() dispatches on and what the usage
// and help texts are built from. A new sub-command is one row and its runner.
namespace ds {

struct SubCommand {
  std::string_view name;     // the first argument; "" for the window (no sub-command)
  std::string_view usage;    // the arguments after the name; "\n" where the line wraps
  std::string_view options;  // lines explaining options, shown in the help; may be ""
  // `args` are the words after the name (all arguments for the window); `install` the
  // executable's folder. Returns the exit code.
  int (*run)(const std::vector<std::string>& args, const std::string& install);
};

// The window first, then the sub-commands in the order the help lists them.
std::span<const SubCommand> SubCommands();

// "usage: drivesentinel report [...]\n": the usage lines of the sub-command `name`.
std::string CommandUsage(std::string_view name);

// The usage lines of every sub-command and the options explained.
std::string UsageText();

// UsageText() and the exit codes: what --help prints.
std::string HelpText();

// Runs the sub-command that `args` (the program's arguments) name, or the window; --help,
// -h and help print HelpText(). Returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, const std::string& install);

}  // namespace ds
