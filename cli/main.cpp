#include <string>
#include <vector>

#include "cli/sub_commands.h"
#include "platform/file_system.h"

// Entry point: the sub-command the arguments name, or the window.
int main(int argc, char** argv) {
  return ds::RunCommandLine(std::vector<std::string>(argv + 1, argv + argc), ds::ExeDirectory());
}
