#include "cli/erase_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "cli/exit_codes.h"
#include "platform/sim/sim_test_drive.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(EraseCommandTest, ExitCodesAndWhereTheMessagesGo) {
  // description, arguments after --sim DIR, exit code, said on stdout when erased, else stderr
  const char* ok = "--drive 0 --serial CLI0042 --yes-erase-all-data";
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"", ok, kExitOk, "erased by TRIM"},
      {"", "--drive 0 --serial CLI0042", kExitUsage, "--yes-erase-all-data is needed"},
      {"", "--drive x --serial CLI0042 --yes-erase-all-data", kExitUsage, "index"},
      {"", "--drive 0 --serial CLI0043 --yes-erase-all-data", kExitEraseRefused, "not \"CLI0043\""},
      {"volume_count=1\nvolume_1_mount=/srv", ok, kExitEraseRefused,
       "remove the file system first!"},
      {"fault_abort_commands=06\nsecurity_state=frozen", ok, kExitEraseFailed, "frozen"},
      {"fault_abort_commands=06,F4,F6", ok, kExitEraseFailedPasswordMaybeSet, "may still be set"}};
  for (const auto& [description, argText, code, wantSaid] : cases) {
    TempFolder folder;
    testing::MakeAtaDriveFolder(folder.path() + "0-disk",
                                {.serial = "CLI0042", .sectors = 200000, .securityWord = 0x0001},
                                description);
    std::vector<std::string> args = {"--sim", folder.path()};
    std::istringstream words(argText);
    for (std::string word; words >> word;)
      args.push_back(word);
    std::ostringstream out, err;
    EXPECT_EQ(RunEraseCommand(args, folder.path(), out, err), code) << err.str();
    const std::string& said = code == kExitOk ? out.str() : err.str();
    EXPECT_NE(said.find(wantSaid), std::string::npos) << description << ": " << said;
    EXPECT_TRUE(code != kExitOk || err.str().find("erase: 100%") != std::string::npos);  // progress
  }
}

}  // namespace
}  // namespace ds
