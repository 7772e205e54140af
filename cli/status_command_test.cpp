#include "cli/status_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/exit_codes.h"
#include "cli/report_command.h"
#include "platform/instance_lock.h"
#include "platform/sim/sim_test_drive.h"
#include "store/disk_watch_state.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

struct StatusRun {
  int code;
  std::string out, err;
};

// A run beside a running program (holding the home's instance lock: the state folder is
// read), or with none (the disks are read at once; only the simulated ones here).
StatusRun Status(const std::string& home, std::vector<std::string> args = {}, bool running = true) {
  args.insert(args.begin(), {"--home", home});
  InstanceLock program;
  if (running) {
    EXPECT_EQ(program.Acquire(home + kInstanceLockFile), InstanceLock::Outcome::kAcquired);
  }
  std::ostringstream out, err;
  const int code = RunStatusCommand(args, std::string(DS_SOURCE_DIR) + "/", out, err);
  return {code, out.str(), err.str()};
}

// Each row: what the monitor last wrote of one disk beside a healthy one.
TEST(StatusCommand, ExitCodesFollowTheChecksConvention) {
  struct Case {
    const char* name;
    bool watched;
    const char* fired;
    int absent;
    bool damaged;
    int code;
    const char* summary;
  };
  const Case cases[] = {
      {"ok", true, "", 0, false, kStatusOk, "OK: 2 disks\n"},
      {"fired", true, "Temperature is above 70!", 0, false, kStatusWarning,
       "WARNING: 1 disk beyond an alert limit\n"},
      {"fired unwatched", false, "Temperature is above 70!", 0, false, kStatusOk, "OK: 2 disks\n"},
      {"one pass absent", true, "", 1, false, kStatusOk, "OK: 2 disks\n"},
      {"gone", true, "Temperature is above 70!", 2, false, kStatusCritical,
       "CRITICAL: 1 disk no longer present\n"},
      {"damaged", true, "", 0, true, kStatusUnknown, "UNKNOWN: 1 disk state(s) cannot be read\n"},
  };
  for (const Case& c : cases) {
    TempFolder home;
    const std::string folder = DiskStateFolder(home.path());
    DiskWatchState good{"QRA-X50", "SN1", "FW", false, 0, 0, 5, 0, false, true, "", "", {}};
    good.readings = {"/dev/sda", 0, 41, 88, 400, 5, true};
    DiskWatchState other{"M2",
                         "SN2",
                         "FW",
                         false,
                         0,
                         0,
                         5,
                         c.absent,
                         false,
                         c.watched,
                         c.fired,
                         "",
                         {"/dev/sdb", 1, {}, {}, {}, 0}};
    std::string message;
    ASSERT_TRUE(SaveDiskWatchState(folder, good, &message) &&
                SaveDiskWatchState(folder, other, &message));
    if (c.damaged)
      std::ofstream(folder + "M2_SN2.dat") << "model=M2\n";
    const StatusRun run = Status(home.path());
    EXPECT_EQ(run.code, c.code) << c.name;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1), c.summary) << c.name;
    EXPECT_NE(
        run.out.find("\n0 | /dev/sda | QRA-X50 | SN1 | 41 C | 88 % | 400 days | passed | OK\n"),
        std::string::npos)
        << c.name << run.out;
    EXPECT_EQ(std::filesystem::exists(folder + "M2_SN2.dat"), true) << c.name;  // never moved
  }
}

// With no program running for the home, the demo's disks are read at once; the states of the
// folder still tell a disk gone.
TEST(StatusCommand, WithoutARunningProgramTheDisksAreReadNow) {
  const std::tuple<const char*, bool, int, const char*> cases[] = {
      {"", false, kStatusOk, "OK: 4 disks\n"},
      {"EnableAlert=1\r\nAbove=40\r\n", false, kStatusWarning,
       "WARNING: 2 disks beyond an alert limit\n"},
      {"EnableAlert=1\r\nAbove=40\r\n", true, kStatusCritical,
       "CRITICAL: 1 disk no longer present\n"},
  };
  for (const auto& [settings, gone, code, summary] : cases) {
    TempFolder home;
    std::filesystem::create_directories(home.path() + "data");
    std::ofstream(home.path() + "data/setting_tool_page.dat") << settings;
    DiskWatchState pulled{"M", "S", "F", false, 0, 0, 5, 2, false, true, "", "", {}};
    std::string message;
    ASSERT_TRUE(!gone || SaveDiskWatchState(DiskStateFolder(home.path()), pulled, &message));
    const StatusRun run = Status(home.path(), {"--demo"}, false);
    EXPECT_EQ(std::tuple(run.code, run.out.substr(0, run.out.find('\n') + 1)),
              std::tuple(code, summary));
    EXPECT_NE(run.out.find("\n1 | 1-qrb-x52 | QRB-X52 128GB | QRB52D2011070311 | 41 C | --- | "),
              std::string::npos)
        << run.out;
  }
}

// Read now, whatever the alert settings: a failed verdict is critical, none (aborted) is not.
TEST(StatusCommand, AFailedVerdictIsCritical) {
  TempFolder home, machine;
  SimulatedDiskImage failing = testing::MakeImage({.model = "F", .serial = "S1"});
  failing.smart[2 + 3] = 10;  // attribute 5 at its threshold
  testing::WriteDriveFolder(machine.path() + "0-f", failing, "");
  testing::MakeAtaDriveFolder(machine.path() + "1-n", {.model = "N"}, "fault_abort_commands=B0:DA");
  const StatusRun run = Status(home.path(), {"--sim", machine.path()}, false);
  EXPECT_EQ(
      std::pair(run.code, run.out.substr(0, run.out.find('\n'))),
      std::pair(
          int{kStatusCritical},
          std::string("CRITICAL: own health check reports a threshold exceeded on 0-f (F S1)")));
  std::ostringstream report;
  RunReportCommand({"--sim", machine.path()}, std::string(DS_SOURCE_DIR) + "/", report, report);
  EXPECT_TRUE(std::regex_search(
      report.str(), std::regex("verdict: +threshold exceeded\n[\\s\\S]*verdict: +---\n")));
}

TEST(StatusCommand, NoStateUsageAndReset) {
  TempFolder home;
  StatusRun run = Status(home.path());
  EXPECT_EQ(run.code, kStatusUnknown);
  EXPECT_EQ(run.out.rfind("UNKNOWN: no disk state in ", 0), 0u) << run.out;
  run = Status(home.path(), {"-x"});
  EXPECT_EQ(run.code, kStatusUnknown);
  EXPECT_NE(run.err.find("usage: drivesentinel status"), std::string::npos) << run.err;

  const std::string folder = DiskStateFolder(home.path());
  DiskWatchState alerted{"M", "S", "F", true, 9, 9, 9, 0, false, true, "rule", "stamp", {}};
  std::string message;
  ASSERT_TRUE(SaveDiskWatchState(folder, alerted, &message));
  EXPECT_EQ(Status(home.path(), {"--reset-alerts"}).code, kStatusOk);
  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  ASSERT_TRUE(LoadDiskWatchStates(folder, &states, &problems));
  ASSERT_EQ(states.size(), 1u);
  EXPECT_FALSE(states[0].alerted);
  EXPECT_EQ(states[0].settingsStamp, "");
}

}  // namespace
}  // namespace ds
