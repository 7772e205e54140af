#include "cli/report_command.h"

#include <gtest/gtest.h>

#include <fstream>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "drive/drive_report.h"
#include "platform/file_system.h"
#include "platform/sim/sim_test_drive.h"
#include "store/description_tables.h"
#include "store/disk_watch_state.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

const std::string kHome = std::string(DS_SOURCE_DIR) + "/";

struct ReportRun {
  int code = -1;
  std::string out, err;
};

ReportRun Report(const std::vector<std::string>& args, const std::string& home = kHome) {
  std::ostringstream out, err;
  const int code = RunReportCommand(args, home, out, err);
  return {code, out.str(), err.str()};
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The sample machine's report against testdata/ (DS_UPDATE_GOLDEN=1 writes it anew).
TEST(DriveReportTest, DemoReportsEqualTheGoldenFiles) {
  const std::pair<std::vector<std::string>, const char*> runs[] = {
      {{"--demo", "--all", "--json"}, "report_demo.json"}, {{"--demo"}, "report_demo.txt"}};
  for (const auto& [args, name] : runs) {
    ReportRun run = Report(args);
    ASSERT_EQ(run.code, kExitOk) << run.err;
    const std::string path = std::string(DS_TESTDATA_DIR) + "/" + name;
    if (std::getenv("DS_UPDATE_GOLDEN") != nullptr)
      testing::WriteFile(path, run.out);
    std::string golden;
    ASSERT_TRUE(ReadWholeFile(path, 1 << 20, &golden, nullptr)) << path;
    EXPECT_EQ(run.out, golden) << name;
  }
  ReportRun one = Report({"--demo", "--drive", "1"});
  ASSERT_EQ(one.code, kExitOk) << one.err;
  EXPECT_TRUE(Has(one.out, "Disk 1 (physical drive 1)") && !Has(one.out, "Disk 0 ") &&
              !Has(one.out, "Disk 2 "))
      << one.out;
}

// The monitor's state of a disk reaches its report: the kind and the times in JSON.
TEST(DriveReportTest, TheMonitorsStateOfADisk) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data");
  std::ofstream(home.path() + "data/setting_tool_page.dat")
      << "EnableAlert=1\r\nRefreshBy=2\r\nRefreshByType=0\r\n";
  const std::int64_t mailed = 1780000000;
  DiskWatchState state{"QRA-X50 256GB SATA SSD",
                       "QRA50C2208150042",
                       "S0911A0",
                       true,
                       mailed,
                       mailed,
                       mailed,
                       0,
                       false,
                       true,
                       "rule",
                       "",
                       {}};
  std::string message;
  ASSERT_TRUE(SaveDiskWatchState(DiskStateFolder(home.path()), state, &message)) << message;
  const ReportRun run = Report({"--demo", "--drive", "0", "--json", "--home", home.path()});
  EXPECT_TRUE(Has(run.out,
                  "\"alertState\": \"alerted\",\n      \"alertMailed\": 1780000000,\n"
                  "      \"silentUntil\": 1780172800,"))
      << run.out;
}

// A failed self-test with its LBA, newest first, in both forms.
TEST(DriveReportTest, SelfTestLogInTextAndJson) {
  DriveList list;
  list.driveCount = list.enumeratedCount = 1;
  list.drives.resize(1);
  DriveReading reading;
  reading.smartRead = true;
  reading.snapshot.selfTestLog =
      SelfTestLog{1, 2, {{2, 0x02, 0x73, 7, 30, 2410, 1ull << 30}, {1, 0x01, 0, 0, 0, 1187, {}}}};
  reading.snapshot.selfTestExecution = {0xF, 60};
  std::ostringstream text, json;
  WriteReport(text, list, {reading}, false);
  WriteReport(json, list, {reading}, true);
  EXPECT_TRUE(Has(text.str(),
                  "    # 1  Extended offline   Completed: read failure            30%   2410  "
                  "1073741824\n    # 2  Short offline      Completed without error") &&
              Has(text.str(), "  Error log:          none\n") &&
              Has(text.str(), "  Self-test status: In progress (60 % left)\n"))
      << text.str();
  EXPECT_TRUE(Has(json.str(), "\"failingLba\": 1073741824}, {\"descriptor\": 1") &&
              Has(json.str(),
                  "\"selfTestStatus\": {\"state\": 15, \"text\": \"In progress\", "
                  "\"remainingPercent\": 60},") &&
              Has(json.str(), "\"errorLog\": null"))
      << json.str();
}

TEST(DriveReportTest, BadArguments) {
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--demo", "--drive", "x"}, kExitUsage},
      {{"--demo", "--drive"}, kExitUsage},
      {{"--bogus"}, kExitUsage},
      {{"--sim"}, kExitUsage},
      {{"--demo", "--drive", "4"}, kExitUsage},  // four disks: 0 to 3
      {{"--demo", "--drive", "123"}, kExitUsage},
      {{"--sim", "/no/such/machine"}, kExitNoRights}};
  for (const auto& [args, code] : cases) {
    ReportRun run = Report(args);
    EXPECT_EQ(run.code, code) << args.back();
    EXPECT_TRUE(!run.err.empty() && run.out.empty()) << run.out;
  }
}

TEST(DriveReportTest, MachineWithoutAtaDisksSaysSo) {
  TempFolder machine;
  testing::MakePlainDriveFolder(machine.path() + "0-usb", "bus_type=7\n");
  testing::MakePlainDriveFolder(machine.path() + "1-nvme", "bus_type=17\n");
  ReportRun text = Report({"--sim", machine.path()}),
            json = Report({"--sim", machine.path(), "--json"});
  EXPECT_EQ(std::pair(text.code, json.code), (std::pair<int, int>(kExitNoDisk, kExitNoDisk)));
  EXPECT_TRUE(Has(text.out, "no ATA or SATA disk")) << text.out;
  EXPECT_TRUE(Has(json.out, "\"drives\": []") && Has(json.out, "\"enumeratedCount\": 2"));
}

TEST(DriveReportTest, DiskTextsAreEscapedAndFailuresReported) {
  TempFolder machine;
  const std::string model = "QRA \"X50\"\\\x01\xC3\xA9";
  testing::MakeAtaDriveFolder(machine.path() + "0-odd",
                              {.model = model, .serial = "S<1>", .sectors = 1000},
                              "fault_abort_commands=B0:D0\n");
  ReportRun run = Report({"--sim", machine.path(), "--json"});
  EXPECT_EQ(run.code, kExitDiskUnreadable);
  EXPECT_TRUE(Has(run.out, "\"model\": \"QRA \\\"X50\\\"\\\\\\u0001\xC3\xA9")) << run.out;
  EXPECT_TRUE(Has(run.out, "\"messages\": [\"GetSmartData NG\"]") &&
              Has(run.out, "\"smartRead\": 0"));
  ReportRun text = Report({"--sim", machine.path()});
  EXPECT_TRUE(Has(text.out, "QRA \"X50\"\\\\x01\\xC3\\xA9") &&
              Has(text.out, "not read (GetSmartData NG)"))
      << text.out;
}

TEST(DriveReportTest, StartLimitComesFromTheInstalledIni) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data");
  std::filesystem::copy(kHome + "data/SMART.dat", home.path() + "data/SMART.dat");
  testing::WriteFile(home.path() + "Norvik_DriveSentinel.ini", "PE_Cycle_Limit=7000\n");
  TempFolder machine;
  testing::MakeAtaDriveFolder(machine.path() + "0-a", {.model = "QRA-X50", .sectors = 1000});
  ReportRun run = Report({"--sim", machine.path(), "--json"}, home.path());
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_TRUE(Has(run.out, "\"peCycleLimit\": 7000") && Has(run.out, "\"powerOnHours\": 42"));
  std::filesystem::remove(home.path() + "data/SMART.dat");  // now no attribute is listed
  EXPECT_TRUE(
      Has(Report({"--sim", machine.path(), "--json"}, home.path()).out, kNoAttributeDescriptions));
}

}  // namespace
}  // namespace ds
