#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/fake_window_services.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

class MainDialogTest : public testing::Test {
 protected:
  MainDialogTest() : window(home.path(), &shell), dialog(*window.dialog) {
    for (const char* page : {"loading.html", "Unsupported.html", "empty.html"})
      Write(page);
    window.drives.AddDrive("QRA-X50 maker's disk", 0);
    window.drives.AddDrive("Other disk", 1);
    MainDialogTestAccess::RefreshDrives(dialog);
    dialog.ShowWindow();
    EXPECT_TRUE(shell.WaitForFrame(std::to_string(kPageHome) + ".html"));  // the Home view
  }
  void Write(const std::string& name, const std::string& text = "<html></html>") {
    std::ofstream(home.path() + "data/" + name) << text;
  }
  void SelectDisk(int index) {
    MainDialogTestAccess::Change(dialog,
                                 [index](WindowState& s) { s.display.selectedDisk = index; });
  }
  WindowState State() { return dialog.CopyState(); }
  AlertSettings Saved() {
    AlertSettings saved;
    std::atomic<int> busy{0};
    LoadAlertSettings(saved, busy, home.path());
    return saved;
  }
  static std::tuple<int, int, int> Switches(const AlertSettings& a) {
    return {a.EnableAlert, a.TemperatureType, a.EnableSSL};
  }

  TempFolder home;
  ScriptedShell shell;
  FakeWindow window;
  MainDialog& dialog;
};

TEST_F(MainDialogTest, TabsShowTheLoadingPageThenTheirBuiltPage) {
  // Tab, its page (current while built), and whether the selected disk is read before the build.
  const int cases[][3] = {
      {kTabDiskInfo, kPageDiskInfo, 0}, {kTabHealth, kPageHealth, 1}, {kTabSmart, kPageSmart, 1},
      {kTabTool, kPageTool, 0},         {kTabSystem, kPageSystem, 0},
  };
  for (const auto& [tab, page, reads] : cases) {
    SCOPED_TRACE(tab);
    const int readsBefore = window.drives.reads;
    const std::size_t before = shell.Navigations().size();
    dialog.ButtonCommand(tab);
    const std::string file = std::to_string(page) + ".html";
    ASSERT_TRUE(shell.WaitForFrame(file));
    const std::vector<std::string> navigations = shell.Navigations();
    EXPECT_EQ(std::tuple(std::vector(navigations.begin() + before, navigations.end()),
                         window.drives.reads - readsBefore, window.pages.seen.back().currentPage),
              std::tuple(std::vector<std::string>{"loading.html", file}, reads, page));
    for (int other = kTabDiskInfo; other <= kTabSystem; ++other)
      EXPECT_EQ(shell.last().isSelected(other), other == tab) << other;
  }
  EXPECT_EQ(State().smart.attr167Raw, 100u);  // the snapshot of disk 0 reached the state
}

// A build that finishes after the selection moved on keeps what it read of its disk (history
// start, snapshot) away from the disk now selected.
TEST_F(MainDialogTest, ABuildForAnEarlierDiskLeavesTheNewSelectionAlone) {
  window.pages.onBuild = [this](int, WindowState& copy) {
    copy.historyStart.avg_erase_count = 4242;  // the Health page reloads disk 0's record
    SelectDisk(1);                             // the user picks disk 1 meanwhile
  };
  dialog.ButtonCommand(kTabHealth);
  ASSERT_TRUE(shell.WaitForFrame("3.html"));  // shown after the build handed its result back
  const WindowState state = State();
  EXPECT_EQ(std::tuple(state.display.selectedDisk, state.historyStart.avg_erase_count == 4242,
                       state.smart.attr167Raw),
            std::tuple(1, false, 0u));
}

TEST_F(MainDialogTest, AForeignDiskGetsTheUnsupportedPageOrAMessage) {
  SelectDisk(1);
  MainDialogTestAccess::Change(dialog, [](WindowState& s) {  // known to have no indicator
    s.smartOwner = SnapshotOwner::Of(s.drives[1]);
  });
  for (int tab : {kTabHealth, kTabSmart, kTabTool}) {
    dialog.ButtonCommand(tab);
    EXPECT_EQ(shell.last().frame, "Unsupported.html") << tab;
    EXPECT_EQ(State().currentPage, PageOfTab(tab));
  }
  dialog.ButtonCommand(kTabDiskInfo);  // needs no maker's disk
  ASSERT_TRUE(shell.WaitForFrame("2.html"));
  std::filesystem::remove(home.path() + "data/Unsupported.html");
  dialog.ButtonCommand(kTabSmart);
  EXPECT_EQ(
      shell.Messages(),
      std::vector<std::string>{"Error Message: This function is only vaild for Norvik disk. [!]"});
  EXPECT_EQ(State().currentPage, kPageDiskInfo);  // nothing changed
}

// Another maker's disk opens Health (not S.M.A.R.T.) when its own endurance indicator gives
// its figure; while the window holds another disk's snapshot, the build reads it and decides.
TEST_F(MainDialogTest, AnotherDiskOpensHealthByItsEnduranceIndicator) {
  SelectDisk(1);
  using enum DeviceStatisticId;
  // The disk whose snapshot the window holds, its indicator (-1: none), the tab, its page.
  const std::tuple<std::size_t, int, int, const char*> cases[] = {
      {1, 7, kTabHealth, "3.html"},
      {1, 7, kTabSmart, "Unsupported.html"},
      {1, -1, kTabHealth, "Unsupported.html"},
      {0, -1, kTabHealth, "3.html"}};
  for (const auto& [owner, used, tab, frame] : cases) {
    MainDialogTestAccess::Change(dialog, [owner = owner, used = used](WindowState& s) {
      s.smart = {}, s.smart.deviceStatistics = DeviceStatistics{{{kPercentageUsed, used}}, {}};
      s.smartOwner = SnapshotOwner::Of(s.drives[owner]);
    });
    dialog.ButtonCommand(tab);
    EXPECT_TRUE(shell.WaitForFrame(frame)) << owner << " " << used << " " << tab;
  }
  MainDialogTestAccess::Change(
      dialog, [](WindowState& s) { s.modelSeries = 99, s.historyStart.endurance = true; });
  dialog.LeftButtonDown(700, 320);  // its export, as the maker's disks have it
  EXPECT_EQ(shell.downloads, std::vector<std::string>{"health.xls as health.xls"});
}

// F2 leaving again is driven in the browser; here the near misses and button 1004 on the tabs.
TEST_F(MainDialogTest, InternalModeByTheExactCodeAndItsButton) {
  SelectDisk(1);
  for (std::string reply : {"talvex", "Talvex ", "", ScriptedShell::kCancel}) {
    shell.passwordReplies = {reply};
    dialog.F2Key();
    EXPECT_EQ(State().internalMode, 0) << reply;
  }
  dialog.ButtonCommand(kButtonInternal);  // hidden: no action
  EXPECT_EQ(State().currentPage, kPageHome);
  shell.passwordReplies = {"Talvex"};
  dialog.F2Key();
  EXPECT_TRUE(shell.last().isSelected(kButtonInternal));
  dialog.ButtonCommand(kTabHealth);  // leaves 1004 as it was
  EXPECT_TRUE(shell.last().isSelected(kButtonInternal));
  dialog.ButtonCommand(kTabDiskInfo);  // unselects it
  EXPECT_FALSE(shell.last().isSelected(kButtonInternal));
}

TEST_F(MainDialogTest, ToolPageSwitchesWaitForEditModeAndTheErase) {
  dialog.ButtonCommand(kTabTool);
  ASSERT_TRUE(shell.WaitForFrame(std::to_string(kPageTool) + ".html"));  // clicks land on it
  dialog.LeftButtonDown(430, 150);  // the alert switch works in edit mode only
  EXPECT_EQ(State().alert.EnableAlert, 0);
  dialog.LeftButtonDown(590, 144);  // Edit
  dialog.LeftButtonDown(447, 166);
  dialog.LeftButtonDown(185, 200);  // Fahrenheit
  dialog.LeftButtonDown(620, 340);  // SSL: flipped in the form, not stored
  EXPECT_EQ(Switches(State().toolForm), std::tuple(1, 1, 1));
  EXPECT_EQ(Switches(State().alert), std::tuple(1, 1, 0));
  EXPECT_EQ(Switches(Saved()), std::tuple(1, 1, 0));

  MainDialogTestAccess::Change(dialog, [](WindowState& s) { s.eraseRunning = 1; });
  dialog.ButtonCommand(kButtonHome);
  dialog.ButtonCommand(kTabTool);  // skipped while an erase runs
  EXPECT_EQ(State().currentPage, kPageHome);
}

// The form waits for Save: a monitor pass between neither drops nor uses the SSL switch, and
// Save stores every value exactly (more than 10 kB of them) or, naming what it refuses, none.
TEST_F(MainDialogTest, ToolPageFormIsStoredWholeBySaveOnly) {
  dialog.ButtonCommand(kTabTool);
  ASSERT_TRUE(shell.WaitForFrame(std::to_string(kPageTool) + ".html"));
  dialog.LeftButtonDown(590, 144);  // Edit
  dialog.LeftButtonDown(620, 340);  // SSL on
  EXPECT_EQ(dialog.View().alert.EnableSSL, 0);
  dialog.ReloadAlertSettings();  // what a monitor pass does
  dialog.TakeInPageInputs();
  const std::string to(4000, 't'), from(4000, 'f'), passwd(3000, 'p');
  const std::tuple<std::string, const char*> saves[] = {
      {"tool_page_refused=to; tool_page_refresh_by=2", "Please shorten the \"To\" field"},
      {"tool_page_refused=; tool_page_above=abc; tool_page_refresh_by=2",
       "in the \"Above\" field!"},
      {"tool_page_refused=; tool_page_above=70 ; tool_page_refresh_by=2; tool_page_to=" + to +
           "; tool_page_from=" + from + "; tool_page_passwd=" + passwd,
       nullptr},
  };
  for (std::uint64_t at = 1; const auto& [cookies, refusal] : saves) {
    window.cookies.Store(cookies + "; tool_page_stored_at=" + std::to_string(at));
    const std::size_t messages = shell.Messages().size();
    dialog.LeftButtonDown(690, 150, at++);  // Save
    if (refusal != nullptr) {
      ASSERT_TRUE(WaitUntil([&] { return shell.Messages().size() > messages; })) << refusal;
      EXPECT_NE(shell.Messages().back().find(refusal), std::string::npos)
          << shell.Messages().back();
      EXPECT_TRUE(WaitUntil([&] { return State().toolEditMode == 1; }));
      EXPECT_EQ(Saved(), AlertSettings{});  // nothing stored
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return Saved().EnableSSL == 1; }));
  const AlertSettings saved = Saved();
  EXPECT_EQ(std::tie(saved.Above, saved.RefreshBy, saved.To, saved.From, saved.Passwd),
            std::tuple(std::string("70"), std::string("2"), to, from, passwd));
  EXPECT_EQ(State().alert, saved);
}

// A switch flipped while the Tool page build reloads the stored settings stays flipped.
TEST_F(MainDialogTest, ASwitchFlippedDuringTheToolPageBuildStays) {
  std::promise<void> building, flipped;
  std::shared_future<void> done = flipped.get_future().share();
  window.pages.onBuild = [&building, done](int page, WindowState& s) {
    if (page == kPageTool) {
      building.set_value();
      done.wait();
      s.alert.EnableAlert = 0;  // what the file holds
    }
  };
  MainDialogTestAccess::Change(dialog, [](WindowState& s) { s.toolEditMode = 1; });
  dialog.ButtonCommand(kTabTool);
  building.get_future().wait();
  dialog.LeftButtonDown(430, 150);  // alerts on, while the page is being built
  flipped.set_value();
  ASSERT_TRUE(shell.WaitForFrame(std::to_string(kPageTool) + ".html"));
  EXPECT_EQ(State().alert.EnableAlert, 1);
}

TEST_F(MainDialogTest, ExportsOfferTheFileOrSayItIsMissing) {
  dialog.ButtonCommand(kTabSmart);
  ASSERT_TRUE(shell.WaitForFrame("4.html"));
  dialog.LeftButtonDown(694, 143);
  dialog.LeftButtonDown(716, 320);
  EXPECT_EQ(shell.Messages(),
            (std::vector<std::string>{"Norvik DriveSentinel: Failed to find SMART.xls file!",
                                      "Norvik DriveSentinel: Failed to find Identify.xls file!"}));

  dialog.ButtonCommand(kTabHealth);
  ASSERT_TRUE(shell.WaitForFrame("3.html"));
  MainDialogTestAccess::Change(dialog, [](WindowState& s) { s.modelSeries = 1; });
  dialog.LeftButtonDown(700, 320);
  EXPECT_EQ(shell.Messages().back(), "Error Message: Unsupported! [!]");
  MainDialogTestAccess::Change(dialog, [](WindowState& s) { s.modelSeries = 0; });
  dialog.LeftButtonDown(700, 320);
  EXPECT_EQ(shell.downloads, std::vector<std::string>{"health.xls as health.xls"});
  EXPECT_TRUE(FileExists(home.path() + "data/health.xls"));

  const int before = State().display.active_rec;
  dialog.LeftButtonDown(472, 314);  // the history switch, then the Health page again
  EXPECT_EQ(State().display.active_rec, 1 - before);
  EXPECT_EQ(State().currentPage, kPageHealth);
}

// The self-test buttons: Extended asks first (No sends nothing), the commands are off-line ones,
// the page is read again while a test runs, and a refusal is shown as the drive layer words it.
TEST_F(MainDialogTest, SelfTestButtonsSendOfflineTestsAndFollowTheRun) {
  dialog.ButtonCommand(kTabSmart);
  ASSERT_TRUE(shell.WaitForFrame("4.html"));
  shell.yesNoReplies = {false, true};
  dialog.LeftButtonDown(500, 460);  // Extended: No
  EXPECT_EQ(std::tuple(window.drives.SelfTestsSent().size(), shell.questions.size()),
            std::tuple(0u, 1u));
  dialog.LeftButtonDown(500, 460);  // Extended: Yes
  ASSERT_TRUE(WaitUntil([&] { return State().smart.selfTestExecution.running(); }));
  const int reads = window.drives.reads;
  EXPECT_TRUE(WaitUntil([&] { return window.drives.reads >= reads + 3; }));  // read while it runs
  dialog.LeftButtonDown(650, 460);                                           // Abort
  ASSERT_TRUE(WaitUntil([&] { return !State().smart.selfTestExecution.running(); }));
  window.drives.selfTestOutcome = {SelfTestResult::kRefused, 0, "The disk is asleep."};
  dialog.LeftButtonDown(400, 460);  // Short, refused
  EXPECT_TRUE(WaitUntil([&] {
    return window.drives.SelfTestsSent() == std::vector{0x02, 0x7F, 0x01};
  }));
  EXPECT_TRUE(WaitUntil(
      [&] { return shell.Messages().back() == "Error Message: The disk is asleep. [!]"; }));
  window.drives.selfTestStatus = 0xF3;  // a test started elsewhere: the page follows it too
  dialog.ButtonCommand(kTabSmart);
  const int opened = window.drives.reads;
  EXPECT_TRUE(WaitUntil([&] { return window.drives.reads >= opened + 3; }));
}

TEST_F(MainDialogTest, LicenceAndLogoOpenOnlySafeAddresses) {
  Write("EULA.txt", "terms");
  std::filesystem::create_directories(home.path() + "other");
  std::ofstream(home.path() + "other/EULA.txt") << "x";
  for (const char* file :
       {"", "data\\missing.txt", "data\\EULA.txt", "other/EULA.txt", "data/../other/EULA.txt"}) {
    MainDialogTestAccess::Change(dialog, [file](WindowState& s) { s.eulaFile = file; });
    dialog.ButtonCommand(kButtonLicence);
  }
  for (const char* address : {"https://www.norvik.example/", "file:///etc/passwd"}) {
    MainDialogTestAccess::Change(dialog, [address](WindowState& s) { s.makerAddress = address; });
    dialog.ButtonCommand(kButtonLogo);
  }
  EXPECT_EQ(shell.opened,
            (std::vector<std::string>{"/data/EULA.txt", "https://www.norvik.example/"}));
  EXPECT_TRUE(FileExists(home.path() + "data/record.dat"));  // the logo's sample history
}

// The system menu's About entry opens the About box; other commands and a hidden window none.
TEST_F(MainDialogTest, AboutFromTheSystemMenu) {
  dialog.SystemCommand(kAboutCommand);
  dialog.SystemCommand(0xF060);
  dialog.Minimize();
  dialog.SystemCommand(kAboutCommand);
  EXPECT_EQ(shell.Messages(),
            std::vector<std::string>{"About Norvik DriveSentinel: Norvik DriveSentinel [icon]"});
}

TEST_F(MainDialogTest, CloseFlushesTheSettingsOnceAndEndsTheWindow) {
  MainDialogTestAccess::Change(dialog, [](WindowState& s) { s.alert.Above = "61"; });
  int closed = 0;
  dialog.setOnClosed([&] { ++closed; });
  dialog.ButtonCommand(kButtonMinimize);  // closed while minimized
  dialog.Close();
  EXPECT_EQ(std::tuple(closed, shell.last().minimized, Saved().Above), std::tuple(1, false, "61"));
  std::filesystem::remove(home.path() + "data/setting_tool_page.dat");
  dialog.Close();  // a second close does nothing
  EXPECT_FALSE(FileExists(home.path() + "data/setting_tool_page.dat"));
}

// An unreadable settings file is told about once, at the first click, not at start-up.
TEST_F(MainDialogTest, AnUnreadableSettingsFileIsToldOnce) {
  std::filesystem::create_directories(home.path() + "data/setting_tool_page.dat");
  AlertSettings alert;
  window.settings.LoadAlert(&alert);  // start-up loads it and hands the problems over
  dialog.Start({State(), window.settings.TakeProblems(), ""});
  EXPECT_TRUE(shell.Messages().empty());
  dialog.ButtonCommand(kTabSystem);
  dialog.ButtonCommand(kButtonHome);
  ASSERT_EQ(shell.Messages().size(), 1u);
  EXPECT_NE(shell.Messages()[0].find("setting_tool_page.dat cannot be read"), std::string::npos);
  dialog.Close();  // and nothing saved over it
  EXPECT_TRUE(std::filesystem::is_directory(home.path() + "data/setting_tool_page.dat"));
}

// Without an ATA or SATA disk every tab says so instead of waiting for a page.
TEST_F(MainDialogTest, WithoutDisksEveryTabSaysSo) {
  Write("NoDisk.html");
  window.drives.drives.clear();
  MainDialogTestAccess::RefreshDrives(dialog);
  for (int tab : {kTabDiskInfo, kTabHealth, kTabSmart, kTabTool}) {
    dialog.ButtonCommand(tab);
    EXPECT_TRUE(shell.WaitForFrame("NoDisk.html")) << tab;
  }
}

// A slow disk holds up its own page, never the window, and its page is not shown over Home.
TEST_F(MainDialogTest, ASlowDiskNeverHoldsTheWindow) {
  window.drives.readDelay = std::chrono::milliseconds(1500);
  dialog.ButtonCommand(kTabSmart);
  EXPECT_EQ(shell.last().frame, "loading.html");
  dialog.ButtonCommand(kButtonHome);  // the UI thread is free at once
  EXPECT_EQ(State().currentPage, kPageHome);
  // The Home view of the start, the page of the slow disk, the Home view again.
  ASSERT_TRUE(WaitUntil([this] { return window.pages.Builds() == 3; }));
  ASSERT_TRUE(shell.WaitForFrame(std::to_string(kPageHome) + ".html"));
  const WindowLook look = shell.last();
  EXPECT_EQ(std::tuple(window.drives.reads.load(), look.frame, look.homePicture),
            std::tuple(1, std::to_string(kPageHome) + ".html", false));
}

}  // namespace
}  // namespace ds
