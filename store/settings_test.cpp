#include "store/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/temp_folder.h"

namespace ds {
namespace {

// A program folder with an empty data/ folder.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(home_.path() + "data"); }

  void WriteData(const char* file, const std::string& text) {
    std::ofstream(home_.path() + "data/" + file, std::ios::binary) << text;
  }
  const std::string& home() const { return home_.path(); }

  TempFolder home_;
  std::atomic<int> busy_{0};
};

TEST_F(SettingsTest, DisplaySettingsLoadInRangeAndSave) {
  // The file (nullptr: none), the number of kept drives, what is loaded.
  // clang-format off
  const std::tuple<const char*, int, DisplaySettings> cases[] = {
      {nullptr, 2, {0, 0, 0}},
      {"Disk_Sel=1\r\nactive_rec=1\r\nhealth_display_type=2\r\n", 2, {1, 1, 2}},
      {"Disk_Sel=2\nactive_rec=1\n", 2, {0, 1, 0}},  // disk just past the kept drives
      {"Disk_Sel=-1\nactive_rec=-5\nhealth_display_type=3\n", 2, {0, 0, 0}},
      {"Disk_Sel=1\nactive_rec=2\nhealth_display_type=2147483648\n", 2, {1, 0, 0}},
      {"Disk_Sel=\nhealth_display_type=1\n", 2, {0, 0, 1}},  // an empty value keeps 0
      {"Disk_Sel=0\n", 0, {0, 0, 0}},  // no drives at all
  };
  // clang-format on
  for (const auto& [file, driveCount, expected] : cases) {
    std::filesystem::remove(home() + "data/setting.dat");
    if (file)
      WriteData(kDisplaySettingsFile, file);
    DisplaySettings loaded{7, 7, 7};
    LoadDisplaySettings(loaded, home(), driveCount);
    EXPECT_EQ(std::tie(loaded.selectedDisk, loaded.active_rec, loaded.health_display_type),
              std::tie(expected.selectedDisk, expected.active_rec, expected.health_display_type))
        << (file ? file : "no file");
  }
  SaveDisplaySettings(DisplaySettings{1, 1, 2}, home());
  EXPECT_EQ(ReadTextFile(home() + "data/" + kDisplaySettingsFile),
            "Disk_Sel=1\r\nactive_rec=1\r\nhealth_display_type=2\r\n");
}

// Names and round trip: the Tool page browser test. Here missing file, busy flag, owner-only file.
TEST_F(SettingsTest, AlertSettingsLoadRulesAndAnOwnerOnlyFile) {
  AlertSettings s;
  s.EnableAlert = 1, s.RefreshByType = 2, s.Host = "kept";
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(std::tie(s.EnableAlert, s.RefreshByType, s.Host), std::make_tuple(0, 0, "kept"));
  WriteData(kAlertSettingsFile, "EnableAlert=1\nHost=h\n");
  s.EnableSSL = 1, s.RefreshBy = "9", busy_ = 1;
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(std::tie(s.EnableAlert, s.Host), std::make_tuple(0, "kept"));
  busy_ = 0;
  LoadAlertSettings(s, busy_, home());
  EXPECT_EQ(std::tuple(s.EnableAlert, s.EnableSSL, s.Host, s.RefreshBy, busy_.load()),
            std::make_tuple(1, 0, "h", "", 0));
  SaveAlertSettings(s, home());
  auto perms = std::filesystem::status(home() + "data/" + kAlertSettingsFile).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
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
