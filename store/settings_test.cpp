#include "store/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/temp_folder.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

// A program folder with an empty data/ folder.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(home_.path() + "data"); }

  void WriteData(const char* file, const std::string& text) {
    std::ofstream(home_.path() + "data/" + file, std::ios::binary) << text;
  }
  std::string ReadData(const char* file) {
    std::ifstream in(home_.path() + "data/" + file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  const std::string& home() const { return home_.path(); }

  TempFolder home_;
  std::atomic<int> busy_{0};
};

TEST_F(SettingsTest, DisplaySettingsLoadWithDefaultsAndRangeCheck) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: no file
    int driveCount;
    DisplaySettings expected;
  };
  const Case cases[] = {
      {"missing file gives zeros", nullptr, 2, {0, 0, 0}},
      {"stored values", "Disk_Sel=1\r\nactive_rec=1\r\nhealth_display_type=2\r\n", 2, {1, 1, 2}},
      {"disk beyond the kept drives", "Disk_Sel=3\nactive_rec=1\n", 2, {0, 1, 0}},
      {"disk just past the kept drives", "Disk_Sel=2\n", 2, {0, 0, 0}},
      {"negative disk", "Disk_Sel=-1\n", 2, {0, 0, 0}},
      {"empty disk value keeps 0", "Disk_Sel=\nhealth_display_type=1\n", 2, {0, 0, 1}},
      {"no drives at all", "Disk_Sel=0\n", 0, {0, 0, 0}},
      {"text converts by leading digits", "active_rec=1abc\nhealth_display_type=x\n", 1, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(home() + "data/setting.dat");
    if (c.file)
      WriteData(kDisplaySettingsFile, c.file);
    DisplaySettings loaded{7, 7, 7};
    LoadDisplaySettings(loaded, home(), c.driveCount);
    EXPECT_EQ(loaded.selectedDisk, c.expected.selectedDisk) << c.name;
    EXPECT_EQ(loaded.active_rec, c.expected.active_rec) << c.name;
    EXPECT_EQ(loaded.health_display_type, c.expected.health_display_type) << c.name;
  }
}

TEST_F(SettingsTest, AlertSettingsFollowTheFormatRules) {
  WriteData(kAlertSettingsFile,
            " enablealert = 1\n"
            "Host=  smtp.example.org  \n"
            "Passwd=se=cret\n"
            "RefreshBy\n"
            "To=a@example.org\nTo=b@example.org\n"
            "TemperatureType=1\nRefreshByType=2\nAbove=70\n");
  AlertSettings s;
  s.RefreshBy = "9";  // an absent key empties its text field
  s.Under = "5";
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(s.EnableAlert, 1);
  EXPECT_EQ(s.TemperatureType, 1);
  EXPECT_EQ(s.RefreshByType, 2);
  EXPECT_EQ(s.EnableSSL, 0);
  EXPECT_EQ(s.Host, "  smtp.example.org");
  EXPECT_EQ(s.Passwd, "se=cret");
  EXPECT_EQ(s.RefreshBy, "");
  EXPECT_EQ(s.Under, "");
  EXPECT_EQ(s.Above, "70");
  EXPECT_EQ(s.To, "a@example.org\nb@example.org");
  EXPECT_EQ(busy_.load(), 0);

  // Saved again, the joined To value becomes two lines; the second has no "=" and is lost.
  SaveAlertSettings(s, home());
  AlertSettings reloaded;
  LoadAlertSettings(reloaded, busy_, home());
  EXPECT_EQ(reloaded.To, "a@example.org");
  EXPECT_EQ(reloaded.Passwd, "se=cret");
}

TEST_F(SettingsTest, MissingAlertFileZeroesNumbersAndKeepsTexts) {
  AlertSettings s;
  s.EnableAlert = 1;
  s.RefreshByType = 2;
  s.Host = "kept";
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(s.EnableAlert, 0);
  EXPECT_EQ(s.RefreshByType, 0);
  EXPECT_EQ(s.Host, "kept");
}

TEST_F(SettingsTest, BusyFlagMakesALoadDoNothing) {
  WriteData(kAlertSettingsFile, "EnableAlert=1\nHost=h\n");
  AlertSettings s;
  s.EnableSSL = 1;
  busy_ = 1;
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(s.EnableSSL, 1);
  EXPECT_EQ(s.Host, "");
  EXPECT_EQ(busy_.load(), 1);
}

TEST_F(SettingsTest, SavesWriteAllLinesInOrderWithCrLf) {
  AlertSettings s;
  s.EnableAlert = 1;
  s.Above = "60";
  s.Passwd = "p w";
  s.RefreshByType = 1;
  SaveAlertSettings(s, home());
  EXPECT_EQ(ReadData(kAlertSettingsFile),
            "EnableAlert=1\r\nTemperatureType=0\r\nEnableSSL=0\r\nAbove=60\r\nUnder=\r\n"
            "Capacity=\r\nHealthStatus=\r\nLifespanYears=\r\nLifespanDays=\r\nRefreshBy=\r\n"
            "From=\r\nTo=\r\nHost=\r\nPort=\r\nId=\r\nPasswd=p w\r\nRefreshByType=1\r\n");
  // The file holds the mail password: owner only.
  auto perms = std::filesystem::status(home() + "data/" + kAlertSettingsFile).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);

  SaveDisplaySettings(DisplaySettings{1, 1, 2}, home());
  EXPECT_EQ(ReadData(kDisplaySettingsFile),
            "Disk_Sel=1\r\nactive_rec=1\r\nhealth_display_type=2\r\n");
}

TEST_F(SettingsTest, FailedSaveIsSilentAndLeavesNoDebris) {
  // The target is a folder: the rename fails even for root, and nothing else changes.
  std::filesystem::create_directory(home() + "data/" + kDisplaySettingsFile);
  SaveDisplaySettings(DisplaySettings{1, 0, 0}, home());
  EXPECT_TRUE(std::filesystem::is_directory(home() + "data/" + kDisplaySettingsFile));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home() + "data"),
                          std::filesystem::directory_iterator()),
            1);
  // No data folder at all: nothing is created.
  TempFolder bare;
  SaveAlertSettings(AlertSettings{}, bare.path());
  EXPECT_FALSE(std::filesystem::exists(bare.path() + "data"));
}

TEST_F(SettingsTest, ConcurrentSavesAndLoadsNeverSeeAHalfFile) {
  AlertSettings a;
  a.Host = std::string(3000, 'a');
  AlertSettings b;
  b.Host = std::string(3000, 'b');
  SaveAlertSettings(a, home());
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 200; ++i)
      SaveAlertSettings(i % 2 ? a : b, home());
    stop = true;
  });
  std::atomic<int> readerBusy{0};
  int loads = 0;
  while (!stop) {
    AlertSettings seen;
    LoadAlertSettings(seen, readerBusy, home());
    ASSERT_TRUE(seen.Host == a.Host || seen.Host == b.Host) << "torn read of " << seen.Host.size();
    ++loads;
  }
  writer.join();
  EXPECT_GT(loads, 0);
}

}  // namespace
}  // namespace ds
