#include "pages/health_export_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "drive/drive_enumerator.h"
#include "platform/file_system.h"
#include "platform/sim/simulated_machine.h"
#include "store/history_folder.h"
#include "store/history_records.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

const std::string kDemoMachine = std::string(DS_SOURCE_DIR) + "/data/sim/demo";
constexpr CivilDate kToday{2016, 3, 7};

struct CommandResult {
  int exitCode;
  std::string out;
  std::string err;
};

class HealthExportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() + "data");
    std::string message;
    auto machine = SimulatedMachine::Load(kDemoMachine, &message);
    ASSERT_TRUE(machine) << message;
    list_ = RefreshDriveList(*machine, [](std::string_view) {});
    ASSERT_GE(list_.driveCount, 2);
  }
  CommandResult Run(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunHealthExportCommand(
        args, home_.path(), [] { return kToday; }, out, err);
    return {code, out.str(), err.str()};
  }
  std::string FolderOf(int index) {
    const DriveRecord& drive = list_.drives[static_cast<std::size_t>(index)];
    return HistoryFolder(home_.path(), drive.model, drive.serial);
  }

  TempFolder home_;
  DriveList list_;
};

TEST_F(HealthExportCommandTest, WritesTheWorkbookOfTheDemoDrivesHistory) {
  ASSERT_TRUE(WriteDemoHistory(FolderOf(0), 1000, kToday));
  const std::string output = home_.path() + "out.xls";
  const CommandResult result = Run({"health", "--sim", kDemoMachine, "--drive", "0", "-o", output});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "Wrote " + output + ": 366 recorded day(s).\n");
  EXPECT_TRUE(FileExists(output));
}

TEST_F(HealthExportCommandTest, WithoutHistoryTheWorkbookHoldsTheHeaderOnly) {
  const std::string output = home_.path() + "empty.xls";
  const CommandResult result = Run({"health", "--sim", kDemoMachine, "--drive", "0", "-o", output});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.err.find("no history"), std::string::npos);
  EXPECT_TRUE(FileExists(output));
  EXPECT_FALSE(std::filesystem::exists(FolderOf(0)));  // the export starts no history
}

TEST_F(HealthExportCommandTest, RefusesBadArgumentsOtherSeriesAndMissingDisks) {
  const std::string output = home_.path() + "x.xls";
  struct Case {
    const char* label;
    std::vector<std::string> args;
    int exitCode;
    const char* errorText;
  };
  const Case cases[] = {
      {"no export name", {}, 2, "usage:"},
      {"other export", {"smart", "--drive", "0", "-o", output}, 2, "only export"},
      {"no output", {"health", "--sim", kDemoMachine, "--drive", "0"}, 2, "required"},
      {"bad index", {"health", "--sim", kDemoMachine, "--drive", "x1", "-o", output}, 2, "index"},
      {"no such disk",
       {"health", "--sim", kDemoMachine, "--drive", "25", "-o", output},
       1,
       "no disk 25"},
      {"other series",
       {"health", "--sim", kDemoMachine, "--drive", "1", "-o", output},
       1,
       "Unsupported!"},
      {"missing machine",
       {"health", "--sim", home_.path() + "none", "--drive", "0", "-o", output},
       3,
       ""},
  };
  for (const Case& c : cases) {
    const CommandResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.label << ": " << result.err;
    EXPECT_NE(result.err.find(c.errorText), std::string::npos) << c.label << ": " << result.err;
    EXPECT_FALSE(FileExists(output)) << c.label;
  }
}

}  // namespace
}  // namespace ds
