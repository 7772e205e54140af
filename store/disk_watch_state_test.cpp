#include "store/disk_watch_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

DiskWatchState Sample(std::string model, std::string serial, std::int64_t seen) {
  DiskWatchState s;
  s.model = std::move(model), s.serial = std::move(serial), s.firmware = "FW1";
  s.alerted = true, s.lastReArm = 1000, s.lastMailed = 1200, s.lastSeen = seen;
  s.absentPasses = 1, s.watched = false, s.firedText = "Temperature is above 70!";
  s.settingsStamp = "abc";
  s.readings = {"/dev/sdb", 1, 71, 88, 400, 1100};
  return s;
}

TEST(DiskWatchState, SavesLoadsAndKeepsDamagedFilesAside) {
  TempFolder temp;
  const std::string folder = DiskStateFolder(temp.path());
  DiskWatchState a = Sample("QRA-X50", "SN1", 5000), b = Sample("QRA-X50", "SN2", 5000);
  b.readings.temperatureCelsius.reset(), b.readings.lifespanDays.reset();  // "---" values
  // A line break from the disk must not plant a key: "alerted=0" stays inside the model.
  DiskWatchState c = Sample("Evil\nalerted=0", "S\r3", 5000);
  a.readings.smartStatusPassed = false, c.readings.smartStatusPassed = true;
  std::string message;
  for (const DiskWatchState* s : {&a, &b, &c})
    ASSERT_TRUE(SaveDiskWatchState(folder, *s, &message)) << message;
  EXPECT_EQ(std::filesystem::status(folder + "QRA-X50_SN1.dat").permissions() &
                std::filesystem::perms::others_read,
            std::filesystem::perms::none);
  std::ofstream(folder + "Bad_1.dat") << "model=M\nserial=S\nalerted=yes\n";
  std::ofstream(folder + "Bad_2.dat") << "garbage";

  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  ASSERT_TRUE(LoadDiskWatchStates(folder, &states, &problems));
  c.model = "Evil_alerted=0", c.serial = "S_3";
  EXPECT_EQ(states, (std::vector<DiskWatchState>{c, a, b}));  // sorted by key
  std::string older = DiskWatchStateText(a);  // a file from before the disk's own verdict
  older.erase(older.find("smart_status_passed="), std::string("smart_status_passed=0\n").size());
  EXPECT_EQ(ParseDiskWatchState(older)->readings.smartStatusPassed, std::nullopt) << older;
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("Bad_1.dat is damaged; it is kept as"), std::string::npos);
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    kept += entry.path().string().find(".dat.unreadable-") != std::string::npos;
  EXPECT_EQ(kept, 2);
  // The sanitised texts give the same key, so a reloaded state is saved over its own file.
  EXPECT_EQ(DiskStateKey(c.model, c.serial), DiskStateKey("Evil\nalerted=0", "S\r3"));
}

TEST(DiskWatchState, ClearReArmsAndDropForgetsDisksUnseenForThirtyDays) {
  TempFolder temp;
  const std::string folder = DiskStateFolder(temp.path());
  const std::int64_t now = 100 * 86400;
  std::string message;
  ASSERT_TRUE(SaveDiskWatchState(folder, Sample("M", "old", now - 30 * 86400), &message));
  ASSERT_TRUE(SaveDiskWatchState(folder, Sample("M", "recent", now - 30 * 86400 + 1), &message));
  ASSERT_TRUE(ClearDiskWatchAlerts(folder, &message)) << message;
  EXPECT_EQ(DropStaleDiskWatchStates(folder, now), std::vector<std::string>{"M_old"});

  std::vector<DiskWatchState> states;
  std::vector<std::string> problems;
  ASSERT_TRUE(LoadDiskWatchStates(folder, &states, &problems));
  ASSERT_EQ(states.size(), 1u);
  DiskWatchState expected = Sample("M", "recent", now - 30 * 86400 + 1);
  expected.alerted = false, expected.lastReArm = 0, expected.settingsStamp = "";
  EXPECT_EQ(states[0], expected);  // readings, last mail and last seen kept
  ASSERT_TRUE(LoadDiskWatchStates(temp.path() + "none/", &states, &problems));
  EXPECT_TRUE(states.empty() && problems.empty());
}

}  // namespace
}  // namespace ds
