#include "app/monitor_app.h"

#include <gtest/gtest.h>

#include "drive/machine_drive_service.h"
#include "monitor/monitor_loop.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// A shown window over one simulated disk described by `description`, its monitor armed with
// an alert that always fires; what the disk layer logs is kept.
struct SimulatedWindow {
  SimulatedWindow(const std::string& model, const std::string& description)
      : disks(Machine(machineFolder.path(), model, description)) {
    std::filesystem::create_directories(home.path() + "data");
    MainDialogTestAccess::RefreshDrives(dialog);
    dialog.ShowWindow();
    MainDialogTestAccess::Change(dialog, [](WindowState& s) {
      s.display.active_rec = s.alert.EnableAlert = 1, s.alert.Above = "0";
    });
  }
  static std::unique_ptr<SimulatedMachine> Machine(const std::string& folder,
                                                   const std::string& model,
                                                   const std::string& description) {
    testing::MakeAtaDriveFolder(folder + "0-disk",
                                {.model = model, .serial = "S9", .firmware = "F1"}, description);
    std::string message;
    auto machine = SimulatedMachine::Load(folder, &message);
    if (!machine)
      ADD_FAILURE() << message;
    return machine;
  }
  static bool NoWait(std::chrono::milliseconds, std::stop_token) { return true; }

  TempFolder home, machineFolder;
  std::unique_ptr<SimulatedMachine> disks;
  std::vector<std::string> logged;
  MachineDriveService drives{*disks, home.path() + "locks/", "",
                             [this](std::string_view text) { logged.emplace_back(text); }};
  FakePages pages{home.path(), &drives};
  SettingsStore settings{home.path()};
  ScriptedShell shell;
  MainDialog dialog{ProgramRoots(std::string(DS_SOURCE_DIR) + "/", home.path()), &shell,
                    WindowServices{&drives, &pages, &settings, {}, nullptr, nullptr}};
  MailChannel mail{home.path() + "none", home.path() + "mail.txt"};
  MetricsBoard board{"test"};
  MonitorLoop loop{dialog,
                   drives,
                   mail,
                   ProgramRoots(std::string(DS_SOURCE_DIR) + "/", home.path()),
                   MonitorTiming{.readAttempts = 2},
                   {},
                   WallClock::now,
                   NoWait,
                   &board};
};

// A spun-down disk stays asleep through a monitor pass, its enumeration included: it gets
// CHECK POWER MODE only, no IDENTIFY and no S.M.A.R.T. read.
TEST(MonitorAppTest, ASleepingDiskIsNotWoken) {
  SimulatedWindow window("QRA-X50 spinning", "standby=1\n");
  SimulatedDisk& disk = *window.disks->disk(0);
  disk.ClearCommandLog();
  window.loop.Pass({});
  for (const SimulatedCommandRecord& command : disk.CommandLog())
    EXPECT_EQ(command.registers.command,
              kAtaCheckPowerMode);  // not even the enumeration's IDENTIFY
  EXPECT_TRUE(!disk.CommandLog().empty() && disk.inStandby());
  EXPECT_NE(window.board.PrometheusText().find(
                "drivesentinel_drive_asleep{drive=\"0\",device=\"0-disk\",model=\"QRA-X50 "
                "spinning\",serial=\"S9\"} 1"),
            std::string::npos);
}

// A disk whose S.M.A.R.T. read fails: the monitor's and the metrics' reads only log the text
// and the pass ends without a dialog; a tab click's read shows it in one box.
TEST(MonitorAppTest, ReadFailuresAreShownOnlyForTheUsersOwnReads) {
  SimulatedWindow window("QRA-X50 failing", "fault_abort_commands=B0:D0\n");
  window.shell.Connect();
  window.loop.Pass({});
  EXPECT_EQ(window.loop.passes(), 1u);
  EXPECT_TRUE(window.shell.Messages().empty());
  // Logged once: the pass reads the disk once for the history and the metrics; the tab
  // click's read logs later.
  EXPECT_EQ(std::count(window.logged.begin(), window.logged.end(), "GetSmartData NG"), 1);
  window.dialog.ButtonCommand(kTabSmart);
  EXPECT_TRUE(WaitUntil([&] { return !window.shell.Messages().empty(); }));
  EXPECT_EQ(window.shell.last().frame, "4.html");  // the box comes once the page stands
  EXPECT_EQ(window.shell.Messages(),
            std::vector<std::string>{"Norvik DriveSentinel: GetSmartData NG"});
}

}  // namespace
}  // namespace ds
