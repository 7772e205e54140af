#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "app/registry_facade.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

class StartupTest : public testing::Test {
 protected:
  StartupTest()
      : registry("", Facts(), [this](const std::string& command) { mirrored.push_back(command); }),
        dialog(home.path(), &shell) {
    std::filesystem::create_directories(home.path() + "data");
    std::ofstream(home.path() + "data/empty.html") << "<html></html>";
    platform.registry = &registry;
    platform.programPath = "/opt/norvik/drivesentinel";
    auto step = [this](const std::string& name) {
      return [this, name](MainDialog& d) {
        // Every step but the monitor start runs with the window's lock held.
        if (name != "monitor") {
          // Asked from another thread: try_lock on a mutex this thread holds is undefined.
          bool free = std::async(std::launch::async, [&d] {
                        bool got = d.mutex.try_lock();
                        if (got)
                          d.mutex.unlock();
                        return got;
                      }).get();
          EXPECT_FALSE(free) << name;
        }
        steps.push_back(name);
      };
    };
    platform.acquireSingleInstance = [this] {
      steps.push_back("instance");
      return !secondInstance;
    };
    platform.collectSystemInfo = step("system-info");
    platform.refreshDriveList = step("drives");
    platform.loadDisplaySettings = step("display-settings");
    platform.loadAlertSettings = step("alert-settings");
    platform.detectModelSeries = step("series");
    platform.loadSmartDescriptions = step("smart-descriptions");
    platform.loadHistoryStart = step("history-start");
    platform.startMonitor = step("monitor");
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

  TempFolder home;
  ScriptedShell shell;
  std::vector<std::string> mirrored;
  RegistryFacade registry;
  MainDialog dialog;
  StartupPlatform platform;
  std::vector<std::string> steps;
  bool secondInstance = false;
};

TEST_F(StartupTest, StepsRunInTheirFixedOrder) {
  ASSERT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);
  EXPECT_EQ(steps, (std::vector<std::string>{"instance", "system-info", "drives",
                                             "display-settings", "alert-settings", "series",
                                             "smart-descriptions", "history-start", "monitor"}));
  // The autorun question comes before the drive list, the splash after the monitor start.
  EXPECT_EQ(shell.events, (std::vector<std::string>{"autorun-question", "splash 1"}));
  WindowLook look = shell.last();
  EXPECT_TRUE(look.windowShown);
  EXPECT_TRUE(look.homePicture);
  EXPECT_EQ(look.page, kPageHome);
  EXPECT_FALSE(look.internalButtonVisible);
  EXPECT_TRUE(look.isSelected(kButtonHome));
  EXPECT_EQ(look.frame, "empty.html");
  EXPECT_EQ(dialog.exeFileName, "drivesentinel");
  EXPECT_EQ(dialog.sataDriverDesc, "Standard SATA AHCI Controller (ahci)");
  EXPECT_EQ(dialog.sataDriverVersion, "1.0");  // the AHCI search leaves the version alone
  EXPECT_EQ(dialog.baseBoardProduct, "Board 7");
  std::uint32_t mode = 0;
  EXPECT_TRUE(registry.QueryDword(kBrowserEmulationKey, "drivesentinel", &mode));
  EXPECT_EQ(mode, kBrowserEmulationMode);
  EXPECT_TRUE(dialog.trayCreated);
}

TEST_F(StartupTest, ASecondInstanceEndsSilently) {
  secondInstance = true;
  EXPECT_EQ(RunStartup(dialog, platform), StartupResult::kSecondInstance);
  EXPECT_EQ(steps, std::vector<std::string>{"instance"});
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_TRUE(shell.looks.empty());
}

TEST_F(StartupTest, AMissingEmulationKeyIsCreatedAndAsksForARestart) {
  registry.DeleteKey(kBrowserEmulationKey);
  EXPECT_EQ(RunStartup(dialog, platform), StartupResult::kReexecute);
  EXPECT_EQ(shell.messages,
            std::vector<std::string>{
                "Norvik DriveSentinel: Setting environment variable. Please re-execute this "
                "programe again!"});
  EXPECT_EQ(steps, std::vector<std::string>{"instance"});
  EXPECT_TRUE(registry.KeyExists(kBrowserEmulationKey));
  steps.clear();
  EXPECT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);  // the second start works
}

TEST_F(StartupTest, ExistingEmulationValueIsKept) {
  registry.SetDword(kBrowserEmulationKey, "drivesentinel", 7000);
  ASSERT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);
  std::uint32_t mode = 0;
  registry.QueryDword(kBrowserEmulationKey, "drivesentinel", &mode);
  EXPECT_EQ(mode, 7000u);
}

TEST_F(StartupTest, AutorunQuestionOutcomes) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::optional<AutorunAnswer> reply;
    bool asked;
    std::string runValue;  // "" = absent
    bool doNotAsk;
  };
  const std::string command = "/opt/norvik/drivesentinel /autostart";
  const std::vector<Case> cases = {
      {"yes", [] {}, AutorunAnswer{true, true, false}, true, command, false},
      {"no keeps nothing", [] {}, AutorunAnswer{true, false, false}, true, "", false},
      {"cancel", [] {}, AutorunAnswer{false, true, true}, true, "", false},
      {"no, never again", [] {}, AutorunAnswer{true, false, true}, true, "", true},
      {"never asked again",
       [this] {
         registry.CreateKey(kNorvikKey);
         registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1);
       },
       std::nullopt, false, "", true},
      {"already registered",
       [this, command] { registry.SetString(kRunKey, kRunValueName, command); }, std::nullopt,
       false, command, false},
      {"registered elsewhere",
       [this] { registry.SetString(kRunKey, kRunValueName, "C:\\Other.exe /autostart"); },
       AutorunAnswer{true, false, false}, true, "C:\\Other.exe /autostart", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistryFacade fresh("", Facts(), [this](const std::string& cmd) { mirrored.push_back(cmd); });
    registry = std::move(fresh);
    mirrored.clear();
    shell.autorunQuestions = 0;
    shell.autorunReplies.clear();
    if (c.reply)
      shell.autorunReplies.push_back(*c.reply);
    c.prepare();
    bool preRegistered = !mirrored.empty();
    ASSERT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);
    EXPECT_EQ(shell.autorunQuestions, c.asked ? 1 : 0);
    std::string runValue;
    registry.QueryString(kRunKey, kRunValueName, &runValue);
    EXPECT_EQ(runValue, c.runValue);
    std::uint32_t never = 0;
    registry.QueryDword(kNorvikKey, "DoNotAskMeAgain", &never);
    EXPECT_EQ(never == 1, c.doNotAsk);
    // Only a Yes writes the Run value, and each write is mirrored as a service.
    if (!preRegistered) {
      EXPECT_EQ(mirrored.size(), c.runValue.empty() ? 0u : 1u);
    }
  }
}

TEST_F(StartupTest, IniAndAutostartFields) {
  std::ofstream(home.path() + "Norvik_DriveSentinel.ini")
      << "Loading_Time=0\nPE_Cycle_Limit=5000x\nEnd_User_License_Agreement=data\\EULA.txt\n";
  platform.args = {"/autostart"};
  ASSERT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);
  EXPECT_EQ(dialog.loadingTime, 0);
  EXPECT_EQ(dialog.peCycleLimit, 5000);
  EXPECT_EQ(dialog.eulaFile, "data\\EULA.txt");
  EXPECT_EQ(dialog.autostartLaunch, 1);
  EXPECT_EQ(shell.events.back(), "splash 0");

  platform.args = {"/autostart", "--demo"};
  ASSERT_EQ(RunStartup(dialog, platform), StartupResult::kRunning);
  EXPECT_EQ(dialog.autostartLaunch, 0);
}

}  // namespace
}  // namespace ds
