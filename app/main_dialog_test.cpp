#include "app/main_dialog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

class MainDialogTest : public testing::Test {
 protected:
  MainDialogTest() : dialog(home.path(), &shell) {
    std::filesystem::create_directories(home.path() + "data");
    for (const char* page : {"loading.html", "Unsupported.html", "empty.html"})
      Write(page);
    dialog.look.windowShown = true;
    auto record = [this](const char* name) {
      return [this, name](MainDialog&) { calls.push_back(name); };
    };
    dialog.hooks.cookiePoll = record("poll");
    dialog.hooks.detectModelSeries = record("series");
    dialog.hooks.loadSmartDescriptions = record("smart-descriptions");
    dialog.hooks.readSelectedDrive = record("read-drive");
    dialog.hooks.loadIdentifyDescriptions = record("identify-descriptions");
    dialog.hooks.saveAlertSettings = record("save-alert");
    dialog.hooks.saveDisplaySettings = record("save-display");
    dialog.hooks.isMakersDisk = [this](const MainDialog&) { return makersDisk; };
  }

  void Write(const std::string& name, const std::string& text = "<html></html>") {
    std::ofstream(home.path() + "data/" + name) << text;
  }
  void Remove(const std::string& name) { std::filesystem::remove(home.path() + "data/" + name); }

  // The pages the browser was sent to, in order.
  std::vector<std::string> Navigations() const {
    std::vector<std::string> pages;
    std::uint64_t sequence = 0;
    for (const WindowLook& look : shell.looks) {
      if (look.frameSequence != sequence)
        pages.push_back(look.frame);
      sequence = look.frameSequence;
    }
    return pages;
  }

  TempFolder home;
  ScriptedShell shell;
  MainDialog dialog;
  std::vector<std::string> calls;
  bool makersDisk = true;
};

TEST_F(MainDialogTest, TabActionsRunTheirStepsInOrder) {
  struct Case {
    int tab;
    int page;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {kTabDiskInfo, kPageDiskInfo, {"poll-after-buttons"}},
      {kTabHealth, kPageHealth, {"poll-first", "series", "read-drive"}},
      {kTabSmart,
       kPageSmart,
       {"poll-first", "series", "smart-descriptions", "read-drive", "identify-descriptions"}},
      {kTabTool, kPageTool, {"poll-first"}},
      {kTabSystem, kPageSystem, {"poll-after-buttons"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tab);
    dialog.HomeAction();
    calls.clear();
    shell.looks.clear();
    dialog.look.frameSequence = 0;
    int built = -1;
    dialog.hooks.cookiePoll = [&](MainDialog& d) {
      calls.push_back(d.currentPage == c.page ? "poll-after-buttons" : "poll-first");
    };
    dialog.hooks.builders[static_cast<std::size_t>(c.page)] = [&](MainDialog& d) {
      built = d.currentPage;
      calls.push_back("build");
      Write("page.html");
      return std::string("page.html");
    };
    dialog.TabAction(c.tab);
    std::vector<std::string> expected = c.calls;
    expected.push_back("build");
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(built, c.page);  // currentPage is set before the page is built
    EXPECT_EQ(Navigations(), (std::vector<std::string>{"loading.html", "page.html"}));
    WindowLook look = shell.last();
    EXPECT_EQ(look.page, c.page);
    EXPECT_FALSE(look.homePicture);
    for (int tab = kTabDiskInfo; tab <= kTabSystem; ++tab) {
      EXPECT_EQ(look.isSelected(tab), tab == c.tab) << tab;
    }
    EXPECT_FALSE(look.isSelected(kButtonHome));
  }
}

TEST_F(MainDialogTest, PagesWithoutBuilderShowTheEmptyPageAndNoLoadingWhenAbsent) {
  Remove("loading.html");
  dialog.TabAction(kTabSystem);
  EXPECT_EQ(Navigations(), std::vector<std::string>{"empty.html"});
  EXPECT_EQ(dialog.currentPage, kPageSystem);
}

TEST_F(MainDialogTest, ABuilderWritingNothingLeavesTheLoadingPage) {
  dialog.hooks.builders[kPageSystem] = [](MainDialog&) { return std::string("missing.html"); };
  dialog.TabAction(kTabSystem);
  EXPECT_EQ(Navigations(), std::vector<std::string>{"loading.html"});
}

TEST_F(MainDialogTest, ForeignDiskShowsUnsupportedPageOrMessage) {
  makersDisk = false;
  for (int tab : {kTabHealth, kTabSmart, kTabTool}) {
    shell.looks.clear();
    dialog.look.frameSequence = 0;
    dialog.TabAction(tab);
    EXPECT_EQ(Navigations(), std::vector<std::string>{"Unsupported.html"}) << tab;
    EXPECT_EQ(dialog.currentPage, PageOfTab(tab));
    EXPECT_TRUE(shell.last().isSelected(tab));
  }
  // Disk and System information need no maker's disk.
  dialog.TabAction(kTabDiskInfo);
  EXPECT_EQ(dialog.currentPage, kPageDiskInfo);

  Remove("Unsupported.html");
  shell.looks.clear();
  dialog.TabAction(kTabSmart);
  EXPECT_EQ(shell.messages, std::vector<std::string>{
                                "Error Message: This function is only vaild for Norvik disk. [!]"});
  EXPECT_EQ(dialog.currentPage, kPageDiskInfo);  // nothing changed
  EXPECT_TRUE(shell.looks.empty());
}

TEST_F(MainDialogTest, InternalButtonSelectionFollowsItsOwnRules) {
  shell.passwordReplies = {"Talvex"};
  dialog.F2Key();
  EXPECT_EQ(dialog.internalMode, 1);
  EXPECT_EQ(dialog.currentPage, kPageInternal);
  EXPECT_TRUE(shell.last().internalButtonVisible);
  EXPECT_TRUE(shell.last().isSelected(kButtonInternal));
  dialog.TabAction(kTabHealth);  // leaves 1004 as it was
  EXPECT_TRUE(shell.last().isSelected(kButtonInternal));
  dialog.TabAction(kTabDiskInfo);  // unselects it
  EXPECT_FALSE(shell.last().isSelected(kButtonInternal));
  dialog.ButtonCommand(kButtonInternal);
  EXPECT_TRUE(shell.last().isSelected(kButtonInternal));
  dialog.HomeAction();
  EXPECT_FALSE(shell.last().isSelected(kButtonInternal));
  EXPECT_TRUE(shell.last().isSelected(kButtonHome));
  EXPECT_TRUE(shell.last().homePicture);
  EXPECT_EQ(shell.last().page, kPageHome);
}

TEST_F(MainDialogTest, F2WithWrongCodeOrCancelDoesNothing) {
  makersDisk = false;
  for (std::string reply : {"talvex", "Talvex ", "", "Talve", ScriptedShell::kCancel}) {
    shell.passwordReplies = {reply};
    dialog.F2Key();
    EXPECT_EQ(dialog.internalMode, 0) << reply;
  }
  EXPECT_EQ(dialog.currentPage, kPageHome);
  EXPECT_TRUE(shell.messages.empty());
  EXPECT_TRUE(shell.looks.empty());
  dialog.ButtonCommand(kButtonInternal);  // hidden button: no action
  EXPECT_EQ(dialog.currentPage, kPageHome);
}

TEST_F(MainDialogTest, F2TwiceLeavesInternalModeAndReturnsHome) {
  makersDisk = false;  // internal mode passes every drive
  shell.passwordReplies = {"Talvex"};
  dialog.F2Key();
  EXPECT_EQ(dialog.currentPage, kPageInternal);
  dialog.TabAction(kTabSmart);
  EXPECT_EQ(dialog.currentPage, kPageSmart);
  dialog.F2Key();
  EXPECT_EQ(shell.passwordQuestions, 1);
  EXPECT_EQ(dialog.internalMode, 0);
  EXPECT_EQ(dialog.currentPage, kPageHome);
  EXPECT_FALSE(shell.last().internalButtonVisible);
}

TEST_F(MainDialogTest, ToolTabIsSkippedWhileAnEraseRuns) {
  dialog.eraseRunning = 1;
  dialog.TabAction(kTabTool);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(dialog.currentPage, kPageHome);
}

TEST_F(MainDialogTest, ClickMapActionsOnTheToolPage) {
  dialog.TabAction(kTabTool);
  calls.clear();
  dialog.LeftButtonDown(430, 150);  // alert toggle: edit mode only
  EXPECT_EQ(dialog.alert.EnableAlert, 0);
  dialog.LeftButtonDown(590, 144);  // Edit
  EXPECT_EQ(dialog.toolEditMode, 1);
  dialog.LeftButtonDown(447, 166);
  EXPECT_EQ(dialog.alert.EnableAlert, 1);
  dialog.LeftButtonDown(185, 200);
  EXPECT_EQ(dialog.alert.TemperatureType, 1);
  dialog.LeftButtonDown(177, 214);
  EXPECT_EQ(dialog.alert.TemperatureType, 0);
  dialog.LeftButtonDown(620, 340);
  EXPECT_EQ(dialog.alert.EnableSSL, 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"save-alert", "save-alert", "save-alert"}));

  std::atomic<int> saves{0};
  dialog.hooks.saveSettingsCheck = [&](MainDialog&, std::stop_token) { ++saves; };
  dialog.LeftButtonDown(700, 150);  // Save
  EXPECT_EQ(dialog.toolEditMode, 0);
  dialog.saveSettingsThread.join();
  EXPECT_EQ(saves.load(), 1);
}

TEST_F(MainDialogTest, SecureEraseAsksAndRefusesMountedDisks) {
  dialog.TabAction(kTabTool);
  std::atomic<int> erases{0};
  dialog.hooks.secureErase = [&](MainDialog&, std::stop_token) { ++erases; };
  std::string fileSystems = "ext4";
  dialog.hooks.selectedFileSystems = [&](const MainDialog&) { return fileSystems; };
  dialog.driveCount = 1;

  shell.yesNoReplies = {false};
  dialog.LeftButtonDown(660, 490);
  EXPECT_EQ(shell.questions.size(), 1u);
  EXPECT_EQ(dialog.eraseRunning, 0);

  shell.yesNoReplies = {true};
  dialog.LeftButtonDown(660, 490);
  EXPECT_EQ(shell.messages.back(), "Error Message: Please remove the file system first! [!]");
  EXPECT_EQ(dialog.eraseRunning, 0);

  fileSystems.clear();
  dialog.toolEditMode = 1;
  shell.yesNoReplies = {true};
  dialog.LeftButtonDown(718, 507);
  EXPECT_EQ(dialog.eraseRunning, 1);
  EXPECT_EQ(dialog.toolEditMode, 0);
  dialog.eraseThread.join();
  EXPECT_EQ(erases.load(), 1);

  shell.yesNoReplies = {true};  // a second request while one runs is ignored
  dialog.LeftButtonDown(700, 490);
  EXPECT_EQ(shell.questions.size(), 3u);
}

TEST_F(MainDialogTest, ExportsOfferTheFileOrSayItIsMissing) {
  dialog.TabAction(kTabSmart);
  dialog.LeftButtonDown(694, 143);
  dialog.LeftButtonDown(716, 369);
  EXPECT_EQ(shell.messages,
            (std::vector<std::string>{"Norvik DriveSentinel: Failed to find SMART.xls file!",
                                      "Norvik DriveSentinel: Failed to find Identify.xls file!"}));
  Write("SMART.xls", "x");
  dialog.LeftButtonDown(700, 150);
  EXPECT_EQ(shell.downloads, std::vector<std::string>{"SMART.xls as SMART.xls"});

  dialog.TabAction(kTabHealth);
  dialog.modelSeries = 1;
  dialog.LeftButtonDown(700, 320);
  EXPECT_EQ(shell.messages.back(), "Error Message: Unsupported! [!]");
  dialog.modelSeries = 0;
  std::string exportedTo;
  dialog.hooks.exportHealthWorkbook = [&](MainDialog&, const std::string& path) {
    exportedTo = path;
    return true;
  };
  dialog.LeftButtonDown(700, 320);
  EXPECT_EQ(exportedTo, home.path() + "data/health.xls");
  EXPECT_EQ(shell.downloads.back(), "health.xls as health.xls");

  int before = dialog.display.active_rec;
  dialog.LeftButtonDown(472, 314);  // history switch, then the Health page again
  EXPECT_EQ(dialog.display.active_rec, 1 - before);
  EXPECT_EQ(dialog.currentPage, kPageHealth);
}

TEST_F(MainDialogTest, MinimizeAndTrayClicks) {
  dialog.ButtonCommand(kButtonMinimize);
  EXPECT_TRUE(shell.last().minimized);
  dialog.TrayClick(false);
  EXPECT_TRUE(shell.last().minimized);
  dialog.ButtonCommand(kTabSystem);  // the hidden window takes no clicks
  EXPECT_EQ(dialog.currentPage, kPageHome);
  dialog.TrayClick(true);
  EXPECT_FALSE(shell.last().minimized);
}

TEST_F(MainDialogTest, LicenceAndLogoButtons) {
  dialog.ButtonCommand(kButtonLicence);  // no file named: nothing
  dialog.eulaFile = "data\\EULA.txt";
  dialog.ButtonCommand(kButtonLicence);  // named but missing: nothing
  Write("EULA.txt", "terms");
  dialog.ButtonCommand(kButtonLicence);
  std::filesystem::create_directories(home.path() + "other");
  std::ofstream(home.path() + "other/EULA.txt") << "x";
  dialog.eulaFile = "other/EULA.txt";  // outside the data folder: not served
  dialog.ButtonCommand(kButtonLicence);
  dialog.eulaFile = "data/../other/EULA.txt";
  dialog.ButtonCommand(kButtonLicence);

  int samples = 0;
  dialog.hooks.writeSampleHistory = [&](MainDialog&) { ++samples; };
  dialog.makerAddress = "https://www.norvik.example/";
  dialog.ButtonCommand(kButtonLogo);
  dialog.makerAddress = "file:///etc/passwd";
  dialog.ButtonCommand(kButtonLogo);
  EXPECT_EQ(samples, 2);
  EXPECT_EQ(shell.opened,
            (std::vector<std::string>{"/data/EULA.txt", "https://www.norvik.example/"}));
}

TEST_F(MainDialogTest, CloseStopsWorkersAndFlushesSettings) {
  std::atomic<bool> stopped{false};
  dialog.monitorThread = std::jthread([&](std::stop_token stop) {
    while (!stop.stop_requested())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopped = true;
  });
  bool closedCalled = false;
  dialog.setOnClosed([&] { closedCalled = true; });
  dialog.ButtonCommand(kButtonMinimize);
  dialog.Close();
  EXPECT_TRUE(stopped.load());
  EXPECT_TRUE(closedCalled);
  EXPECT_EQ(calls, (std::vector<std::string>{"poll", "save-display", "save-alert"}));
  EXPECT_TRUE(shell.last().ended);
  EXPECT_FALSE(shell.last().minimized);
  dialog.Close();  // a second close does nothing
  EXPECT_EQ(calls.size(), 3u);
  dialog.ButtonCommand(kTabSystem);
  EXPECT_EQ(dialog.currentPage, kPageHome);
}

TEST_F(MainDialogTest, UnknownButtonsAndOutOfRangeClicksAreIgnored) {
  for (int id : {-1, 0, 999, 1011, 1013, 1014, 5000})
    dialog.ButtonCommand(id);
  dialog.TabAction(kTabSmart);
  shell.looks.clear();
  for (auto [x, y] : std::vector<std::pair<int, int>>{{-5, 150}, {9999, 9999}, {700, -1}}) {
    dialog.LeftButtonDown(x, y);
  }
  EXPECT_TRUE(shell.looks.empty());
  EXPECT_TRUE(shell.messages.empty());
}

}  // namespace
}  // namespace ds
