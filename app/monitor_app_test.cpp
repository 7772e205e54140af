#include "app/monitor_app.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/machine_drive_access.h"
#include "app/registry_facade.h"
#include "app/report_pages.h"
#include "drive/test_machine.h"
#include "monitor/monitor_loop.h"
#include "platform/sim/simulated_machine.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// The whole window over HTTP on a machine whose one disk takes 5 s for each S.M.A.R.T.
// read: while a tab reads it, the shell page, the event stream and a Home click all answer
// at once, and the page arrives when the read is over.
TEST(MonitorAppTest, ASlowDiskNeverFreezesTheWindow) {
  TempFolder home;
  TempFolder machineFolder;
  testing::MakeAtaDriveFolder(machineFolder.path() + "0-slow",
                              testing::IdentifySector("QRA-X50 slow", "S1", "F1", 1000000),
                              "fault_slow_commands=B0:D0\nfault_slow_ms=5000\n");
  std::string message;
  auto disks = SimulatedMachine::Load(machineFolder.path(), &message);
  ASSERT_TRUE(disks) << message;
  const ProgramRoots roots(std::string(DS_SOURCE_DIR) + "/", home.path());
  std::filesystem::create_directories(home.path() + "data");
  MachineDriveAccess drives(*disks, "", {});
  RegistryFacade registry("", {});
  SettingsStore settings(home.path());
  ReportPages pages(roots, drives, *disks, registry, settings, SystemInfo{}, LocalToday);
  WindowServices services{&drives, &pages, &settings, {}};
  AppOptions options;
  options.roots = roots;
  MonitorApp app(options, services);
  ASSERT_TRUE(app.StartServer(&message)) << message;
  StartupContext context;
  context.registry = &registry;
  context.programPath = "/opt/ds/drivesentinel";
  std::thread ui([&app, &context] { app.Run(context); });

  // The address names the window under its secret segment.
  const std::string root = "/" + app.token() + "/";
  EXPECT_EQ(app.Address(), "http://127.0.0.1:" + std::to_string(app.port()) + root);
  auto client = [&app] {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", app.port());
    c->set_read_timeout(2, 0);  // "promptly": far below the disk's 5 s
    return c;
  };
  std::atomic<bool> windowShown{false};
  std::atomic<bool> homeShown{false};
  std::atomic<bool> smartShown{false};
  std::thread events([&] {
    auto stream = client();
    stream->set_read_timeout(30, 0);
    stream->Get(root + "ui/events", [&](const char* data, std::size_t size) {
      std::string chunk(data, size);
      if (chunk.find("\"windowShown\":true") != std::string::npos)
        windowShown = true;
      if (chunk.find("\"homePicture\":true") != std::string::npos)
        homeShown = true;
      if (chunk.find("SMARTPage.html") != std::string::npos)
        smartShown = true;
      return !smartShown;
    });
  });

  auto click = [&](int id) {
    auto result = client()->Post(root + "data/.input", "type=button&id=" + std::to_string(id),
                                 "application/x-www-form-urlencoded");
    return result && result->status == 204;
  };
  // Start-up reads the disk once (5 s) before the window stands.
  ASSERT_TRUE(WaitUntil([&] { return windowShown.load(); }, seconds(20)));
  ASSERT_TRUE(click(kTabSmart));
  const auto shell = client()->Get(root);
  ASSERT_TRUE(shell);
  EXPECT_EQ(shell->status, 200);
  homeShown = false;
  ASSERT_TRUE(click(kButtonHome));
  EXPECT_TRUE(WaitUntil([&] { return homeShown.load(); }, seconds(2)));
  EXPECT_FALSE(smartShown.load());

  ASSERT_TRUE(click(kTabSmart));
  EXPECT_TRUE(WaitUntil([&] { return smartShown.load(); }, seconds(20)));
  app.RequestClose();
  events.join();
  ui.join();
}

// A spun-down rotating disk stays asleep through a monitor pass: CHECK POWER MODE is all it
// gets, and the metrics say it slept.
TEST(MonitorAppTest, ASleepingDiskIsNotWoken) {
  TempFolder home;
  TempFolder machineFolder;
  testing::MakeAtaDriveFolder(machineFolder.path() + "0-hdd",
                              testing::IdentifySector("QRA-X50 spinning", "S9", "F1", 1000000),
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
  dialog.Update([](WindowState& s) {
    s.display.active_rec = 1;
    s.alert.EnableAlert = 1;
    s.alert.Above = "0";
  });
  MailChannel mail(home.path() + "none", home.path() + "mail.txt");
  MetricsBoard board("test");
  MonitorLoop loop(dialog, mail, home.path(), MonitorTiming{}, {}, WallClock::now, {}, &board);
  disks->disk(0)->ClearCommandLog();
  loop.Pass({});
  for (const SimulatedCommandRecord& command : disks->disk(0)->CommandLog())
    EXPECT_EQ(command.registers.command, kAtaCheckPowerMode);
  EXPECT_FALSE(disks->disk(0)->CommandLog().empty());
  EXPECT_TRUE(disks->disk(0)->inStandby());
  EXPECT_NE(board.PrometheusText().find("drivesentinel_drive_asleep{drive=\"0\",model=\"QRA-X50 "
                                        "spinning\",serial=\"S9\"} 1"),
            std::string::npos);
}

}  // namespace
}  // namespace ds
