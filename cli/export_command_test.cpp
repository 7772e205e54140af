#include "cli/export_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <sstream>

#include "cli/exit_codes.h"
#include "platform/file_system.h"
#include "tests/run_program.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

const std::string kInstall = std::string(DS_SOURCE_DIR) + "/";
constexpr CivilDate kToday{2016, 3, 7};

// The export command on the sample machine, with a home folder of its own.
class ExportCommandTest : public testing::Test {
 protected:
  ExportCommandTest() { std::filesystem::create_directories(home.path() + "data"); }
  int Run(std::vector<std::string> args) {
    out.str(""), err.str("");
    args.insert(args.end(), {"--home", home.path()});
    return RunExportCommand(
        args, kInstall, [] { return kToday; }, out, err);
  }
  TempFolder home;
  std::ostringstream out, err;
};

TEST_F(ExportCommandTest, WritesTheThreeWorkbooks) {
  const std::string smart = home.path() + "smart.xls", identify = home.path() + "identify.xls";
  ASSERT_EQ(Run({"smart", "--drive", "0", "--demo", "-o", smart}), kExitOk) << err.str();
  EXPECT_NE(ReadWorkbookWithXlrd(smart).find("SMART\nID\tAttribute name\t"), std::string::npos);
  EXPECT_NE(ReadWorkbookWithXlrd(smart).find("\nA7\tAverage Erase Count\t"), std::string::npos);
  ASSERT_EQ(Run({"identify", "--demo", "--drive", "1", "-o", identify}), kExitOk) << err.str();
  EXPECT_EQ(ReadWorkbookWithXlrd(identify).rfind("Identify\nItem\tDescription\nWord 0: ", 0), 0u);

  // A sample drive gets its generated year of history; a simulated machine's disk gets none.
  const std::string health = home.path() + "health.xls";
  ASSERT_EQ(Run({"health", "--demo", "--drive", "0", "-o", health}), kExitOk) << err.str();
  EXPECT_EQ(out.str(), "Wrote " + health + ": 366 recorded day(s).\n");
  std::filesystem::remove_all(home.path() + "data");
  std::filesystem::create_directories(home.path() + "data");
  const std::string sim = kInstall + "data/sim/demo";
  ASSERT_EQ(Run({"health", "--sim", sim, "--drive", "0", "-o", health}), kExitOk) << err.str();
  EXPECT_NE(err.str().find("no history"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(home.path() + "data"));
  // Another maker's disk with its endurance indicator: its own label, no sample history.
  ASSERT_EQ(Run({"health", "--demo", "--drive", "3", "-o", health}), kExitOk) << err.str();
  EXPECT_EQ(ReadWorkbookWithXlrd(health), "Health\nDate\tHealth\tPercentage used (%)\n");
}

TEST_F(ExportCommandTest, RefusesBadRequestsAndOtherSeries) {
  const std::string out = home.path() + "x.xls";
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{}, kExitUsage, "say what"},
      {{"smart", "--demo", "-o", out}, kExitUsage, "required"},
      {{"smart", "--demo", "--drive", "0"}, kExitUsage, "required"},
      {{"smart", "--demo", "--drive", "x1", "-o", out}, kExitUsage, "index"},
      {{"pictures", "--demo", "--drive", "0", "-o", out}, kExitUsage, "cannot export"},
      {{"smart", "--demo", "--drive", "4", "-o", out}, kExitUsage, "no disk 4"},
      {{"smart", "--sim", home.path() + "nowhere", "--drive", "0", "-o", out}, kExitNoRights, ""},
      {{"health", "--demo", "--drive", "1", "-o", out}, kExitFailure, "Unsupported!"},
      {{"identify", "--demo", "--drive", "0", "-o", home.path() + "no/such/x.xls"},
       kExitFailure,
       "cannot create"}};
  for (const auto& [args, exitCode, errorText] : cases) {
    EXPECT_EQ(Run(args), exitCode) << (args.empty() ? "" : args[0]) << err.str();
    EXPECT_NE(err.str().find(errorText), std::string::npos) << err.str();
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

// -o names a file of the user's: what lies there already decides what may happen.
TEST_F(ExportCommandTest, OutputPathRules) {
  const std::string node = home.path() + "device";
  ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0);  // like /dev/null
  const std::string fifo = home.path() + "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string target = home.path() + "kept.xls";
  ASSERT_TRUE(ReplaceFileAtomically(target, "old", FileAccess::kShared, nullptr));
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::chown(target.c_str(), 1234, 5678), 0);
  const std::string link = home.path() + "link.xls";
  std::filesystem::create_symlink(target, link);

  for (const std::string& refused : {node, fifo, home.path()}) {
    EXPECT_EQ(Run({"smart", "--demo", "--drive", "0", "-o", refused}), kExitFailure) << refused;
    EXPECT_NE(err.str().find("refusing"), std::string::npos) << err.str();
  }
  struct stat info {};
  ASSERT_EQ(::stat(node.c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));

  // Our own link is written through: the file it names is replaced, owner and mode kept.
  ASSERT_EQ(Run({"smart", "--demo", "--drive", "0", "-o", link}), kExitOk) << err.str();
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 5678u);
  EXPECT_GT(info.st_size, 3);
}

}  // namespace
}  // namespace ds
