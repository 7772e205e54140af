#include "app/monitor_app.h"

#include <gtest/gtest.h>

#include "app/machine_drive_access.h"
#include "monitor/monitor_loop.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// A spun-down disk stays asleep through a monitor pass: it gets CHECK POWER MODE only.
TEST(MonitorAppTest, ASleepingDiskIsNotWoken) {
  TempFolder home, machineFolder;
  testing::MakeAtaDriveFolder(machineFolder.path() + "0-hdd",
                              {.model = "QRA-X50 spinning", .serial = "S9", .firmware = "F1"},
                              "standby=1\n");
  std::string message;
  auto disks = SimulatedMachine::Load(machineFolder.path(), &message);
  ASSERT_TRUE(disks) << message;
  const ProgramRoots roots(std::string(DS_SOURCE_DIR) + "/", home.path());
  std::filesystem::create_directories(home.path() + "data");
  MachineDriveAccess drives(*disks, "", {});
  FakePages pages(home.path());
  SettingsStore settings(home.path());
  ScriptedShell shell;
  MainDialog dialog(roots, &shell,
                    WindowServices{&drives, &pages, &settings, {}, nullptr, nullptr, disks.get()});
  dialog.RefreshDrives();
  dialog.Update(
      [](WindowState& s) { s.display.active_rec = s.alert.EnableAlert = 1, s.alert.Above = "0"; });
  MailChannel mail(home.path() + "none", home.path() + "mail.txt");
  MetricsBoard board("test");
  MonitorLoop loop(dialog, mail, home.path(), MonitorTiming{}, {}, WallClock::now, {}, &board);
  disks->disk(0)->ClearCommandLog();
  loop.Pass({});
  for (const SimulatedCommandRecord& command : disks->disk(0)->CommandLog())
    EXPECT_EQ(command.registers.command, kAtaCheckPowerMode);
  EXPECT_TRUE(!disks->disk(0)->CommandLog().empty() && disks->disk(0)->inStandby());
  EXPECT_NE(board.PrometheusText().find("drivesentinel_drive_asleep{drive=\"0\",model=\"QRA-X50 "
                                        "spinning\",serial=\"S9\"} 1"),
            std::string::npos);
}

}  // namespace
}  // namespace ds
