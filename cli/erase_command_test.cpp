#include "cli/erase_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "drive/test_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// A one-disk machine whose disk takes TRIM and has the security feature set.
void MakeMachine(const std::string& folder, const std::string& description) {
  auto identify = testing::IdentifySector("CLI ERASE SSD", "CLI0042", "1.0", 200000);
  identify[2 * 82] = 0x03;   // SMART and the security feature set
  identify[2 * 128] = 0x01;  // security supported
  identify[2 * 169] = 0x01;  // TRIM
  std::uint8_t sum = 0;
  for (int i = 0; i < 511; ++i)
    sum = static_cast<std::uint8_t>(sum + identify[i]);
  identify[511] = static_cast<std::uint8_t>(0x100 - sum);
  testing::MakeAtaDriveFolder(folder + "0-disk", identify, description);
}

TEST(EraseCommandTest, ExitCodes) {
  struct Case {
    const char* description;
    std::vector<std::string> args;  // after --sim DIR
    int code;
    const char* said;  // on standard output when erased, else on standard error
  };
  const std::vector<std::string> ok = {"--drive", "0", "--serial", "CLI0042",
                                       "--yes-erase-all-data"};
  auto with = [&ok](std::size_t at, const std::string& value) {
    std::vector<std::string> args = ok;
    args[at] = value;
    return args;
  };
  const Case cases[] = {
      {"", ok, kEraseDone, "erased by TRIM"},
      {"fault_abort_commands=06", ok, kEraseDone, "erased by SECURITY ERASE UNIT"},
      {"", {"--drive", "0", "--serial", "CLI0042"}, kEraseUsage, "--yes-erase-all-data is needed"},
      {"", {"--drive", "0", "--yes-erase-all-data"}, kEraseUsage, "--serial"},
      {"", with(1, "x"), kEraseUsage, "disk index"},
      {"", with(3, "CLI0043"), kEraseRefused, "not \"CLI0043\""},
      {"", with(1, "1"), kEraseRefused, "there is no disk 1"},
      {"volume_count=1\nvolume_1_mount=/srv\nvolume_1_fs=xfs", ok, kEraseRefused,
       "Please remove the file system first!"},
      {"fault_abort_commands=06\nsecurity_state=frozen", ok, kEraseFailed, "frozen"},
      {"fault_abort_commands=06,F4", ok, kEraseFailed, "removed again"},
      {"fault_abort_commands=06,F4,F6", ok, kEraseFailedPasswordMaybeSet, "may still be set"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    MakeMachine(folder.path(), c.description);
    std::vector<std::string> args = {"--sim", folder.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunEraseCommand(args, folder.path(), out, err), c.code) << err.str();
    const std::string& said = c.code == kEraseDone ? out.str() : err.str();
    EXPECT_NE(said.find(c.said), std::string::npos) << c.description << ": " << said;
  }
}

TEST(EraseCommandTest, ProgressOnStandardError) {
  TempFolder folder;
  MakeMachine(folder.path(), "fault_abort_commands=06");
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunEraseCommand({"--sim", folder.path(), "--drive", "0", "--serial", "CLI0042",
                             "--yes-erase-all-data"},
                            folder.path(), out, err),
            kEraseDone);
  const std::string text = err.str();
  const std::size_t p33 = text.find(": 33%");
  const std::size_t p66 = text.find(": 66%");
  const std::size_t p100 = text.find(": 100%");
  ASSERT_NE(p33, std::string::npos) << text;
  EXPECT_LT(p33, p66);
  EXPECT_LT(p66, p100);
  EXPECT_NE(p100, std::string::npos);
  EXPECT_EQ(out.str().find('%'), std::string::npos);
}

}  // namespace
}  // namespace ds
