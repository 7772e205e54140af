#include "app/page_hooks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/drive_hooks.h"
#include "platform/sim/simulated_machine.h"
#include "store/history_folder.h"
#include "tests/scripted_shell.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// Board and BIOS values as the registry holds them; everything else is absent.
class BiosRegistry : public Registry {
 public:
  std::map<std::string, std::string> values;
  bool KeyExists(const std::string&) const override { return true; }
  bool CreateKey(const std::string&) override { return true; }
  bool QueryDword(const std::string&, const std::string&, std::uint32_t*) const override {
    return false;
  }
  bool QueryString(const std::string& key, const std::string& name,
                   std::string* value) const override {
    auto it = values.find(name);
    if (key != kBiosKey || it == values.end())
      return false;
    *value = it->second;
    return true;
  }
  bool SetDword(const std::string&, const std::string&, std::uint32_t) override { return false; }
  bool SetString(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The window on the demo machine with the delivered data folder.
class PageHooksTest : public testing::Test {
 protected:
  PageHooksTest() : dialog(home.path(), &shell) {
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
    std::string message;
    disks = SimulatedMachine::Load(home.path() + "data/sim/demo", &message);
    EXPECT_NE(disks, nullptr) << message;
    dialog.look.windowShown = true;
    WireDriveHooks(dialog, platform, *disks);
    registry.values = {{"BaseBoardManufacturer", "ACME"}, {"BIOSVendor", "Open <BIOS>"}};
    SystemInfo info;
    info.osName = "Debian GNU/Linux 12 (bookworm), kernel 6.1.0";
    WirePageBuilders(dialog, platform, *disks, registry, info, [] {
      return CivilDate{2026, 3, 14};
    });
    std::lock_guard<std::mutex> lock(dialog.mutex);
    platform.refreshDriveList(dialog);
  }

  std::string Shown() const { return shell.looks.empty() ? "" : shell.looks.back().frame; }
  std::string Data(const std::string& file) const { return home.path() + "data/" + file; }

  TempFolder home;
  ScriptedShell shell;
  MainDialog dialog;
  StartupPlatform platform;
  std::unique_ptr<SimulatedMachine> disks;
  BiosRegistry registry;
};

TEST_F(PageHooksTest, TabsShowTheirPagesOnTheDemoMachine) {
  ASSERT_EQ(dialog.driveCount, 4);

  dialog.TabAction(1005);
  EXPECT_NE(Shown().find("disk_info_0_0.html"), std::string::npos) << Shown();
  for (int drive = 0; drive < dialog.driveCount; ++drive) {
    EXPECT_TRUE(std::filesystem::exists(Data("disk_info_" + std::to_string(drive) + "_0.html")))
        << drive;
  }

  dialog.TabAction(1007);
  EXPECT_NE(Shown().find("SMARTPage.html"), std::string::npos) << Shown();
  const std::string attributes = ReadFile(Data("SMARTInfo.html"));
  EXPECT_NE(attributes.find("Average Erase Count"), std::string::npos);
  EXPECT_NE(ReadFile(Data("SMART_ID_Info.html")).find(dialog.drives[0].serial), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(Data("SMART.xls")));
  EXPECT_TRUE(std::filesystem::exists(Data("Identify.xls")));

  dialog.TabAction(1009);
  EXPECT_NE(Shown().find("SystemPage.html"), std::string::npos) << Shown();
  const std::string system = ReadFile(Data("SystemPage.html"));
  EXPECT_NE(system.find("Manufacturer: ACME<br>Model: Unknown"), std::string::npos);
  EXPECT_NE(system.find("Brand: Open &lt;BIOS&gt;"), std::string::npos);
  EXPECT_NE(system.find("Debian GNU/Linux 12"), std::string::npos);
}

TEST_F(PageHooksTest, HealthTabAndExportOfASeriesZeroDisk) {
  dialog.TabAction(1006);
  EXPECT_NE(Shown().find("HealthPage_0.html"), std::string::npos) << Shown();
  EXPECT_EQ(dialog.historyStart.start_date_year, 2026);
  const std::string workbook = home.path() + "health.xls";
  ASSERT_TRUE(dialog.hooks.exportHealthWorkbook(dialog, workbook));
  EXPECT_TRUE(std::filesystem::exists(workbook));
}

TEST_F(PageHooksTest, StartUpGivesTheDemoDrivesAHistoryOnce) {
  WireHistoryStart(platform, *disks, true, [] { return CivilDate{2026, 3, 14}; });
  std::lock_guard<std::mutex> lock(dialog.mutex);
  platform.loadHistoryStart(dialog);
  const DriveRecord& qra = dialog.drives[0];
  const std::string folder = HistoryFolder(home.path(), qra.model, qra.serial);
  EXPECT_TRUE(std::filesystem::exists(folder + "record_init.dat"));
  EXPECT_TRUE(std::filesystem::exists(folder + "record_2026_3.dat"));
  EXPECT_LT(dialog.historyStart.start_date_year, 2026);  // the generated history is older
  const DriveRecord& other = dialog.drives[3];           // another maker's disk: no history
  EXPECT_FALSE(std::filesystem::exists(HistoryFolder(home.path(), other.model, other.serial)));
}

TEST_F(PageHooksTest, OtherMakersDiskGetsTheUnsupportedPageOnTheSmartTab) {
  dialog.display.selectedDisk = 3;  // the other maker's SSD
  dialog.TabAction(1007);
  EXPECT_NE(Shown().find("Unsupported.html"), std::string::npos) << Shown();
  dialog.TabAction(1005);  // Disk Information serves every drive, opened at the selected one
  EXPECT_NE(Shown().find("disk_info_3_0.html"), std::string::npos) << Shown();
}

}  // namespace
}  // namespace ds
