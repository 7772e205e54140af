#include "app/startup.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "app/registry_facade.h"
#include "platform/file_system.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

class StartupTest : public testing::Test {
 protected:
  StartupTest()
      : registry("", Facts(), [this](const std::string& command) { mirrored.push_back(command); }),
        window(home.path(), &shell) {
    std::ofstream(home.path() + "data/empty.html") << "<html></html>";
    window.drives.AddDrive("QRA-X50 first", 3);
    context.roots = ProgramRoots(home.path()), context.shell = &shell;
    context.services = window.services();
    context.registry = &registry, context.programPath = "/opt/norvik/drivesentinel";
    context.today = [] { return CivilDate{2026, 12, 6}; };
    context.acquireSingleInstance = [this] { return !secondInstance; };
    context.startMonitor = [this] { monitorStartedAfterHistory = FileExists(StartRecord()); };
  }
  static SystemRegistryFacts Facts() {
    SystemRegistryFacts facts;
    facts.controllers = {{"Standard SATA Controller", "1.0"},
                         {"Vendor RAID", "2.0"},
                         {"", "x"},
                         {"Standard SATA AHCI Controller (ahci)", "3.0"}};
    facts.baseBoardProduct = "Board 7";
    return facts;
  }
  std::string StartRecord() { return home.path() + "data/QRA-X50 first_SN3/record_init.dat"; }
  StartupResult Run() { return RunStartup(*window.dialog, context); }

  TempFolder home;
  ScriptedShell shell;
  std::vector<std::string> mirrored;
  RegistryFacade registry;
  FakeWindow window;
  StartupContext context;
  bool secondInstance = false, monitorStartedAfterHistory = false;
};

TEST_F(StartupTest, TheWindowStandsWithEveryStepDone) {
  std::ofstream(home.path() + "Norvik_DriveSentinel.ini")
      << "Loading_Time=2\nPE_Cycle_Limit=5000\n";
  context.args = {"/autostart"};
  ASSERT_EQ(Run(), StartupResult::kRunning);
  shell.Connect();  // a logon start asks nothing, also once a page shows the window
  EXPECT_EQ(shell.events, (std::vector<std::string>{"splash 2"}));
  EXPECT_TRUE(shell.last().isSelected(kButtonHome));
  EXPECT_FALSE(registry.KeyExists(std::string(kStorageClassKey) + "\\0004"));  // 4 controllers
  const WindowState s = window.dialog->CopyState();
  // The AHCI search leaves the version alone; the disk was read before its start record.
  EXPECT_EQ(std::tuple(s.sataDriverDesc, s.sataDriverVersion, s.baseBoardProduct, s.driveCount,
                       s.peCycleLimit, s.autostartLaunch, window.drives.reads.load(),
                       s.historyStart.avg_erase_count, monitorStartedAfterHistory),
            std::tuple("Standard SATA AHCI Controller (ahci)", "1.0", "Board 7", 1, 5000, 1, 1, 103,
                       true));
  context.args = {"/autostart", "--demo"};  // not a logon start
  ASSERT_EQ(Run(), StartupResult::kRunning);
  EXPECT_EQ(window.dialog->CopyState().autostartLaunch, 0);
}

TEST_F(StartupTest, EarlyEnds) {
  secondInstance = true;
  EXPECT_EQ(Run(), StartupResult::kSecondInstance);
  EXPECT_TRUE(shell.messages.empty() && shell.looks.empty());

  secondInstance = false;
  // A machine without the browser's feature key: a key file that holds the Run key only.
  const std::string keyFile = home.path() + "registry.dat";
  std::ofstream(keyFile) << "key\t" << EscapeRegistryText(FoldCase(kRunKey)) << "\n";
  registry = RegistryFacade(keyFile, Facts());
  EXPECT_EQ(Run(), StartupResult::kReexecute);
  EXPECT_EQ(shell.messages,
            std::vector<std::string>{
                "Norvik DriveSentinel: Setting environment variable. Please re-execute this "
                "programe again!"});
  EXPECT_EQ(window.drives.reads, 0);
  EXPECT_EQ(Run(), StartupResult::kRunning);  // the second start works
  registry.SetDword(kBrowserEmulationKey, "drivesentinel", 7000);
  ASSERT_EQ(Run(), StartupResult::kRunning);
  std::uint32_t mode = 0;
  registry.QueryDword(kBrowserEmulationKey, "drivesentinel", &mode);
  EXPECT_EQ(mode, 7000u);  // an existing value is kept
}

TEST_F(StartupTest, AutorunQuestionOutcomes) {
  // Name; the Run value and DoNotAskMeAgain before; the reply (none: not asked); both after.
  using Case =
      std::tuple<const char*, std::string, bool, std::optional<AutorunAnswer>, std::string, bool>;
  const std::string command = "/opt/norvik/drivesentinel /autostart";
  const std::string other = "C:\\Other.exe /autostart";
  const Case cases[] = {
      {"yes", "", false, AutorunAnswer{true, true, false}, command, false},
      {"no keeps nothing", "", false, AutorunAnswer{true, false, false}, "", false},
      {"cancel", "", false, AutorunAnswer{false, true, true}, "", false},
      {"no, never again", "", false, AutorunAnswer{true, false, true}, "", true},
      {"never asked again", "", true, std::nullopt, "", true},
      {"already registered", command, false, std::nullopt, command, false},
      {"registered elsewhere", other, false, AutorunAnswer{true, false, false}, other, false},
  };
  for (const auto& [name, runBefore, neverBefore, reply, expectedRun, doNotAsk] : cases) {
    SCOPED_TRACE(name);
    registry =
        RegistryFacade("", Facts(), [this](const std::string& cmd) { mirrored.push_back(cmd); });
    shell.events.clear();
    shell.autorunReplies = reply ? std::deque{*reply} : std::deque<AutorunAnswer>{};
    if (neverBefore) {
      registry.CreateKey(kNorvikKey);
      registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1);
    }
    if (!runBefore.empty())
      registry.SetString(kRunKey, kRunValueName, runBefore);
    mirrored.clear();
    shell.viewed = false;
    ASSERT_EQ(Run(), StartupResult::kRunning);
    EXPECT_EQ(shell.events.size(), 1u);  // the splash: nobody to ask yet
    shell.Connect();
    EXPECT_EQ(shell.events.size(), reply ? 2u : 1u);
    std::string runValue;
    std::uint32_t never = 0;
    registry.QueryString(kRunKey, kRunValueName, &runValue);
    registry.QueryDword(kNorvikKey, "DoNotAskMeAgain", &never);
    // Only a Yes writes the Run value, and each write is mirrored as a service.
    EXPECT_EQ(std::tuple(runValue, never == 1, mirrored.size()),
              std::tuple(expectedRun, doNotAsk, expectedRun != runBefore ? 1u : 0u));
  }
}

}  // namespace
}  // namespace ds
