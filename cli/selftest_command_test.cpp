#include "cli/selftest_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/exit_codes.h"
#include "platform/sim/sim_test_drive.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(SelfTestCommandTest, StartsOnlyWhatMayStartAndSaysWhy) {
  struct Case {
    const char* description;
    std::uint8_t status;  // SMART data byte 363 at power-on
    bool supported;
    const char* args;  // after --sim DIR
    int code;
    const char* said;  // on stdout when started, else stderr
  };
  const char* base = "--drive 0 --serial ST42";
  const Case cases[] = {
      {"", 0x00, true, "--short", kExitOk,
       "short self-test was started in off-line mode; it "
       "takes about 2 minutes"},
      {"", 0x00, true, "--extended", kExitOk, "about 30 minutes"},
      {"self_test_percent_per_read=1", 0xF5, true, "--abort", kExitOk, "aborted"},
      {"self_test_percent_per_read=1", 0xF5, true, "--short", kExitRefused,
       "already running (50% left)"},
      {"", 0x00, true, "--abort", kExitRefused, "No self-test is running"},
      {"standby=1", 0x00, true, "--short", kExitRefused, "asleep"},
      {"", 0x00, false, "--short", kExitRefused, "does not support self-tests"},
      {"fault_abort_commands=B0:D4", 0x00, true, "--short", kExitFailure, "refused the short"},
      {"", 0x00, true, "--short --serial ST43", kExitRefused, "not \"ST43\"; nothing was started"},
      {"", 0x00, true, "--short --abort", kExitUsage, "one of --short, --extended and --abort"},
      {"", 0x00, true, "", kExitUsage, "one of --short"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    SimulatedDiskImage image = testing::MakeImage({.serial = "ST42", .selfTests = c.supported});
    image.smart[363] = c.status;
    testing::WriteDriveFolder(folder.path() + "0-disk", image, c.description);
    std::vector<std::string> args = {"--sim", folder.path()};
    std::istringstream words(std::string(base) + " " + c.args);
    for (std::string word; words >> word;)
      args.push_back(word);
    std::ostringstream out, err;
    EXPECT_EQ(RunSelfTestCommand(args, folder.path(), out, err), c.code) << err.str();
    const std::string said = c.code == kExitOk ? out.str() : err.str();
    EXPECT_NE(said.find(c.said), std::string::npos) << c.args << ": " << said;
  }
}

}  // namespace
}  // namespace ds
