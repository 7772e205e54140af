#include "app/report_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/registry_facade.h"
#include "app/startup.h"
#include "drive/machine_drive_service.h"
#include "platform/file_system.h"
#include "platform/sim/simulated_machine.h"
#include "store/disk_watch_state.h"
#include "store/history_folder.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// The window on the sample machine: the source tree is the install folder, the home its own.
class ReportPagesTest : public testing::Test {
 protected:
  ReportPagesTest() : roots(std::string(DS_SOURCE_DIR) + "/", home.path()), registry("", {}) {
    std::filesystem::create_directories(home.path() + "data");
    std::string message;
    disks = SimulatedMachine::Load(roots.InstallData("sim/demo"), &message);
    EXPECT_NE(disks, nullptr) << message;
    drives = std::make_unique<MachineDriveService>(*disks, home.path() + "locks/", "",
                                                   [](std::string_view) {});
    registry.CreateKey(kBiosKey);
    SystemInfo info;
    info.osName = "Debian GNU/Linux 12 (bookworm), kernel 6.1.0";
    pages = std::make_unique<ReportPages>(roots, *drives, registry, settings, info, [] {
      return CivilDate{2026, 3, 14};
    });
    dialog = std::make_unique<MainDialog>(roots, &shell, Services());
    MainDialogTestAccess::RefreshDrives(*dialog);
    dialog->ShowWindow();
  }
  // Runs a tab and waits for its page (a file name that starts with `prefix`).
  std::string Tab(int tab, const std::string& prefix) {
    dialog->ButtonCommand(tab);
    shell.WaitFor([&prefix](const WindowLook& look) { return look.frame.rfind(prefix, 0) == 0; });
    return shell.last().frame;
  }
  std::string Home(const std::string& file) const { return roots.HomeData(file); }
  WindowServices Services() {
    return WindowServices{drives.get(), pages.get(), &settings, {}, nullptr, nullptr};
  }
  StartupResult Start() {
    StartupContext context;
    context.roots = roots, context.shell = &shell, context.services = Services();
    context.registry = &registry, context.programPath = "/opt/ds/drivesentinel";
    context.demoMachine = true, context.today = [] { return CivilDate{2026, 3, 14}; };
    return RunStartup(*dialog, context);
  }

  TempFolder home;
  ProgramRoots roots;
  ScriptedShell shell;
  RegistryFacade registry;
  SettingsStore settings{home.path()};
  std::unique_ptr<SimulatedMachine> disks;
  std::unique_ptr<MachineDriveService> drives;
  std::unique_ptr<ReportPages> pages;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(ReportPagesTest, TabsShowTheirPagesOnTheSampleMachine) {
  ASSERT_EQ(dialog->CopyState().driveCount, 4);
  EXPECT_EQ(Tab(kTabDiskInfo, "disk_info"), "disk_info_0_0.html");
  for (const auto& [drive, celsius] : {std::pair{0, 38}, {1, 41}, {2, 45}, {3, 33}}) {
    std::string page = ReadTextFile(Home("disk_info_" + std::to_string(drive) + "_0.html"));
    std::erase(page, '\0');  // UTF-16 of ASCII: the temperature is attribute 194 of its read
    EXPECT_NE(page.find("\"big\">" + std::to_string(celsius) + "<"), std::string::npos) << drive;
  }

  EXPECT_EQ(Tab(kTabSmart, "SMART"), "SMARTPage.html");
  EXPECT_NE(ReadTextFile(Home("SMARTInfo.html")).find("Average Erase Count"), std::string::npos);
  EXPECT_NE(ReadTextFile(Home("SMART_ID_Info.html")).find(dialog->CopyState().drives[0].serial),
            std::string::npos);

  EXPECT_EQ(Tab(kTabSystem, "System"), "SystemPage.html");
  EXPECT_NE(ReadTextFile(Home("SystemPage.html")).find("Debian GNU/Linux 12"), std::string::npos);

  EXPECT_EQ(Tab(kTabHealth, "Health"), "HealthPage_0.html");
  EXPECT_EQ(dialog->CopyState().historyStart.start_date_year, 2026);
  std::string message;
  ASSERT_TRUE(pages->ExportHealth(dialog->CopyState(), home.path() + "health.xls", &message))
      << message;
  EXPECT_FALSE(FileExists(roots.InstallData("SMARTPage.html")));  // nothing in the install

  // Another maker's disk: the Unsupported page, and Disk Info opened at the selection.
  MainDialogTestAccess::Change(*dialog, [](WindowState& s) { s.display.selectedDisk = 3; });
  EXPECT_EQ(Tab(kTabSmart, "Unsupported"), "Unsupported.html");
  EXPECT_EQ(Tab(kTabDiskInfo, "disk_info"), "disk_info_3_0.html");

  MainDialogTestAccess::Change(*dialog, [](WindowState& s) { s.display.selectedDisk = 0; });
  shell.passwordReplies = {"Talvex"};  // the internal page with the vendor figure
  dialog->F2Key();
  ASSERT_TRUE(shell.WaitForFrame("InternalPage.html"));
  EXPECT_EQ(dialog->CopyState().vendorFigure, 333412u);
  EXPECT_NE(ReadTextFile(Home("InternalPage.html")).find(">2048<"), std::string::npos);
}

// The sample's other-maker disk keeps 7 % used in its Device Statistics log.
TEST_F(ReportPagesTest, AnotherMakersDiskHasHealthByItsEnduranceIndicator) {
  MainDialogTestAccess::Change(*dialog, [](WindowState& s) { s.display.selectedDisk = 3; });
  EXPECT_EQ(Tab(kTabHealth, "Health"), "HealthPage_0.html");
  const std::string page = ReadTextFile(Home("HealthPage_0.html"));
  for (const char* text : {"#03508D\">93<", "Percentage used (%)", "id=\"years\">---<",
                           "Health is 100 - the drive's Percentage Used Endurance Indicator"})
    EXPECT_NE(page.find(text), std::string::npos) << text;
  WindowState state = dialog->CopyState();
  EXPECT_TRUE(state.historyStart.isEndurance());
  // Read without its indicator, the disk gets the Unsupported page from the build.
  state.smart.deviceStatistics.reset();
  std::string message;
  EXPECT_EQ(pages->Build(kPageHealth, 0, state, {}, &message), "Unsupported.html");
}

// Home: one clickable row per kept disk, its figures and state from the monitor's state file.
TEST_F(ReportPagesTest, HomeShowsEveryKeptDiskFromTheMonitorsStates) {
  DiskWatchState known;
  known.model = dialog->CopyState().drives[1].model,
  known.serial = dialog->CopyState().drives[1].serial;
  known.readings.temperatureCelsius = 47, known.readings.lifespanDays = 1234;
  std::string message;
  ASSERT_TRUE(SaveDiskWatchState(DiskStateFolder(home.path()), known, &message)) << message;
  MainDialogTestAccess::Change(*dialog, [](WindowState& s) { s.alert.EnableAlert = 1; });
  ASSERT_TRUE(shell.WaitForFrame("HomePage.html"));  // the first show's Home view
  dialog->ButtonCommand(kButtonHome);
  std::string page;
  for (int i = 0; i < 500 && page.find("47 &deg;C") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    page = ReadTextFile(Home("HomePage.html"));
  }
  std::size_t rows = 0;
  for (std::size_t at = page.find("OpenDisk("); at != std::string::npos;
       at = page.find("OpenDisk(", at + 1))
    ++rows;
  EXPECT_EQ(rows, dialog->CopyState().drives.size() + 1);  // and the script's own function
  EXPECT_NE(page.find("<td>47 &deg;C</td><td>---</td><td>1234 days</td><td>---</td><td>OK</td>"),
            std::string::npos);
}

TEST_F(ReportPagesTest, StartUpGivesTheSampleDrivesAHistoryOnce) {
  ASSERT_EQ(Start(), StartupResult::kRunning);
  const WindowState state = dialog->CopyState();
  const DriveRecord& qra = state.drives[0];
  EXPECT_TRUE(FileExists(HistoryFolder(home.path(), qra.model, qra.serial) + "record_2026_3.dat"));
  EXPECT_LT(state.historyStart.start_date_year, 2026);  // the generated history is older
  const DriveRecord& other = state.drives[3];           // another maker's disk: no history
  EXPECT_FALSE(std::filesystem::exists(HistoryFolder(home.path(), other.model, other.serial)));
  // Half-way through its cycles after a year: two years to go.
  EXPECT_EQ(Tab(kTabHealth, "Health"), "HealthPage_0.html");
  const std::string page = ReadTextFile(Home("HealthPage_0.html"));
  EXPECT_NE(page.find("id=\"years\">2<"), std::string::npos);
  EXPECT_NE(page.find("id=\"days\" style=\"margin-left: 8px\">0<"), std::string::npos);
}

// DMI values (no board_version) reach the System page; an "Aptio" board gets no vendor reads.
TEST_F(ReportPagesTest, DmiBoardAndBiosAndTheAptioGate) {
  const std::string dmi = home.path() + "sys/class/dmi/id/";
  std::filesystem::create_directories(dmi);
  for (const char* file :
       {"board_vendor", "board_name", "bios_vendor", "bios_version", "bios_date"})
    std::ofstream(dmi + file) << "Aptio " << file << "\n";  // each value names its file
  registry = RegistryFacade("", SystemRegistryFactsOf(ReadMachineFacts(home.path())));
  ASSERT_EQ(Start(), StartupResult::kRunning);
  EXPECT_EQ(Tab(kTabSystem, "System"), "SystemPage.html");
  const std::string page = ReadTextFile(Home("SystemPage.html"));
  const auto npos = std::string::npos;
  EXPECT_NE(page.find("Aptio board_vendor<br>Model: Aptio board_name<br>Version: Unknown"), npos);
  EXPECT_NE(page.find("Aptio bios_vendor<br>Version: Aptio bios_version<br>Date: Aptio bios_date"),
            npos);
  shell.passwordReplies = {"Talvex"};
  dialog->F2Key();
  ASSERT_TRUE(shell.WaitForFrame("InternalPage.html"));
  EXPECT_EQ(dialog->CopyState().vendorFigure, 0u);  // 333412 on any other board
}

// Each registry row with templates has a builder and delivered template files; every delivered
// template belongs to one row.
TEST(PageRegistry, BuildersAndTemplatesCoverEveryPage) {
  const ProgramRoots install(std::string(DS_SOURCE_DIR) + "/");
  std::set<std::string> named;
  for (const PageEntry& page : Pages()) {
    EXPECT_EQ(ReportPages::HasBuilder(page.id), !page.templates.empty()) << "page " << page.id;
    for (std::size_t i = 0; i < page.templates.size(); ++i) {
      EXPECT_TRUE(named.insert(page.templates[i]).second) << page.templates[i];
      EXPECT_TRUE(std::filesystem::is_regular_file(PageTemplatePath(install, page.id, i)));
    }
  }
  for (const auto& file : std::filesystem::directory_iterator(install.InstallData("template")))
    EXPECT_EQ(named.count(file.path().filename().string()), 1u) << file.path();
}

}  // namespace
}  // namespace ds
