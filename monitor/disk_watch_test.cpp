#include "monitor/disk_watch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "tests/temp_folder.h"

namespace ds {
namespace {

// A fake clock at 2026-11-30 00:00 UTC; the passes come one hour apart.
constexpr std::int64_t kStart = 1795996800;

// Disks A and B run hot from hours 2 and 5, C is pulled at hour 4, D always runs hot but
// its serial is ignored. RefreshBy is one day; at hour 10 the program restarts (its states
// come back from their files); at hour 30 the period becomes two days.
TEST(DiskWatch, EachDiskMailsOnceAndReArmsOnItsOwnPeriod) {
  setenv("TZ", "UTC", 1);
  tzset();
  TempFolder temp;
  const std::string folder = DiskStateFolder(temp.path());
  AlertSettings settings;
  settings.EnableAlert = 1, settings.RefreshBy = "1", settings.RefreshByType = kRefreshByDay;
  std::map<std::string, std::vector<int>> mailHours;  // by serial
  std::map<std::string, std::string> mailTexts;
  std::vector<DiskWatchState> states;
  std::map<int, std::map<std::string, std::string>> shown;  // hour, serial: state text
  for (int hour = 0; hour <= 31; ++hour) {
    const std::int64_t now = kStart + hour * 3600;
    if (hour == 10) {  // a restart: the states come back from their files
      std::string message;
      for (const DiskWatchState& state : states)
        ASSERT_TRUE(SaveDiskWatchState(folder, state, &message)) << message;
      std::vector<std::string> problems;
      ASSERT_TRUE(LoadDiskWatchStates(folder, &states, &problems));
    }
    if (hour == 30)
      settings.RefreshBy = "2";
    WatchPass pass{states, {}, settings, {"SN-D"}, WallClock::from_time_t(now)};
    const auto disk = [&](const char* serial, int number, bool hot) {
      const std::string device = "/dev/sd" + std::string(1, static_cast<char>('a' + number));
      pass.seen.push_back({"QRA-X50",
                           serial,
                           "FW1",
                           true,
                           {device, number, hot ? 75 : 40, 90, 500, 0},
                           hot ? std::vector<std::string>{"Temperature is above 70!"}
                               : std::vector<std::string>{}});
    };
    disk("SN-A", 0, hour >= 2);
    disk("SN-B", 1, hour >= 5);
    if (hour < 4)
      disk("SN-C", 2, false);
    disk("SN-D", 3, true);
    const WatchOutcome outcome = DecideWatchPass(pass);
    for (const WatchMail& mail : outcome.mails) {
      mailHours[mail.serial].push_back(hour);
      mailTexts[mail.serial] = mail.text + " | " + mail.device;
    }
    states = outcome.states;
    for (const DiskWatchState& state : states)
      shown[hour][state.serial] = AlertStateText(state, settings);
  }
  EXPECT_EQ(mailHours["SN-A"], (std::vector<int>{2, 26, 30}));
  EXPECT_EQ(mailHours["SN-B"], (std::vector<int>{5, 29, 30}));
  EXPECT_EQ(mailHours["SN-C"], (std::vector<int>{5, 30}));  // absent at hours 4 and 5
  EXPECT_EQ(mailHours.count("SN-D"), 0u);
  EXPECT_EQ(mailTexts["SN-A"], "Temperature is above 70! | /dev/sda");
  EXPECT_EQ(mailTexts["SN-C"], "DUT's disk QRA-X50 SN-C is no longer present. | /dev/sdc");
  EXPECT_EQ(shown[2]["SN-A"], "alert mailed 2026-11-30 02:00 UTC");
  EXPECT_EQ(shown[3]["SN-A"], "silent until 2026-12-01 02:00 UTC");
  EXPECT_EQ(shown[3]["SN-B"], "OK");
  EXPECT_EQ(shown[4]["SN-C"], "OK");  // one pass missing is not yet gone
  EXPECT_EQ(shown[5]["SN-C"], "no longer present since 2026-11-30 03:00 UTC");
  EXPECT_EQ(shown[5]["SN-D"], "not watched");
  ASSERT_EQ(states.size(), 4u);
  EXPECT_EQ(states[0].readings, (DiskReadings{"/dev/sda", 0, 75, 90, 500, kStart + 31 * 3600}));
}

// Reads that fail keep the last readings and check no rule; a disk unseen comes back fresh
// of its absence; with alerts off nothing is mailed and no disk is watched.
TEST(DiskWatch, UnreadDisksKeepReadingsAndAlertsOffMailNothing) {
  AlertSettings settings;
  settings.EnableAlert = 1, settings.RefreshBy = "0";
  const auto at = [](int hour) { return WallClock::from_time_t(kStart + hour * 3600); };
  SeenDisk hot{"M", "S", "F", true, {"/dev/sda", 0, 80, 50, 9, 0}, {"rule"}};
  WatchOutcome out = DecideWatchPass({{}, {hot}, settings, {}, at(0)});
  ASSERT_EQ(out.mails.size(), 1u);
  SeenDisk unread{"M", "S", "F", false, {"/dev/sdb", 1, 20, 1, 1, 0}, {"rule"}};
  out = DecideWatchPass({out.states, {unread}, settings, {}, at(1)});
  EXPECT_TRUE(out.mails.empty());  // period 0 re-arms, but an unread disk fires nothing
  EXPECT_EQ(out.states[0].readings, (DiskReadings{"/dev/sdb", 1, 80, 50, 9, kStart}));
  out = DecideWatchPass({out.states, {}, settings, {}, at(2)});
  out = DecideWatchPass({out.states, {hot}, settings, {}, at(3)});
  EXPECT_EQ(out.states[0].absentPasses, 0);
  EXPECT_EQ(out.mails.size(), 1u);
  settings.EnableAlert = 0;
  for (int hour = 4; hour < 8; ++hour) {
    out = DecideWatchPass({out.states, {}, settings, {}, at(hour)});
    EXPECT_TRUE(out.mails.empty());
  }
  EXPECT_FALSE(out.states[0].watched);
}

}  // namespace
}  // namespace ds
