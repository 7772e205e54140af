#include "cli/sub_commands.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/erase_command.h"
#include "cli/exit_codes.h"
#include "cli/export_command.h"

namespace ds {

// A usage error shows the lines the help shows (there under "usage: "), and main's
// dispatch reaches the sub-commands, the window and the help.
TEST(SubCommandsTest, UsageErrorsShowTheHelpsLines) {
  const std::string install = std::string(DS_SOURCE_DIR) + "/", help = HelpText();
  std::ostringstream out, exportErr, eraseErr;
  EXPECT_EQ(RunExportCommand({"-x"}, install, LocalToday, out, exportErr), kExitUsage);
  EXPECT_EQ(RunEraseCommand({"-x"}, install, out, eraseErr), kExitUsage);
  for (const auto& [name, err] : {std::pair{"export", &exportErr}, {"erase", &eraseErr}}) {
    EXPECT_NE(err->str().find(CommandUsage(name)), std::string::npos) << err->str();
    EXPECT_NE(help.find(CommandUsage(name).substr(7)), std::string::npos) << name;
  }
  for (const auto& [args, code] :
       {std::pair<std::vector<std::string>, int>{{"report", "-x"}, kExitUsage},
        {{"-x"}, kExitUsage},
        {{"-h"}, kExitOk}})
    EXPECT_EQ(RunCommandLine(args, install), code) << args[0];
}

}  // namespace ds
