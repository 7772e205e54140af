#include "monitor/counter_watch.h"

#include <gtest/gtest.h>

#include <functional>

#include "monitor/disk_watch.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

constexpr std::int64_t kStart = 1795996800;  // 2026-11-30 00:00 UTC

SmartSnapshot Disk() {
  SmartSnapshot s;
  s.attributes = {{5, "Reallocated", 0, 0, 0, 0, 0}, {197, "Pending", 0, 0, 0, 0, 0x123400000002}};
  s.errorLog = ErrorLog{3, {}};
  s.selfTestLog = SelfTestLog{1, 1, {{1, 0x01, 0x00, 0, 0, 100, {}}}};
  return s;
}

void AddTest(SmartSnapshot& s, std::uint8_t status, std::optional<std::uint64_t> lba) {
  auto& entries = s.selfTestLog->entries;
  const int descriptor = entries.front().descriptor + 1;
  entries.insert(entries.begin(), {descriptor, 0x02, status, status >> 4, 0, 101, lba});
}

// Passes of one disk; RefreshBy one day; returns the mail texts by hour. At hour 3 the
// program restarts: the states come back from their files.
std::map<int, std::string> Passes(
    const ChangeAlertSwitches& switches,
    const std::map<int, std::function<void(SmartSnapshot&)>>& changes) {
  TempFolder temp;
  const std::string folder = DiskStateFolder(temp.path());
  AlertSettings settings;
  settings.EnableAlert = 1, settings.RefreshBy = "1", settings.RefreshByType = kRefreshByDay;
  SmartSnapshot smart = Disk();
  std::vector<DiskWatchState> states;
  std::map<int, std::string> mails;
  for (const auto& [hour, change] : changes) {
    if (hour == 3) {
      std::string message;
      std::vector<std::string> problems;
      EXPECT_TRUE(SaveDiskWatchState(folder, states.at(0), &message) &&
                  LoadDiskWatchStates(folder, &states, &problems));
    }
    change(smart);
    WatchPass pass{states,  {}, settings, {}, WallClock::from_time_t(kStart + hour * 3600),
                   switches};
    pass.seen.push_back(
        {"M", "S", "F", true, {"/dev/sda", 0, {}, {}, {}, 0}, {}, CountersOf(smart)});
    WatchOutcome outcome = DecideWatchPass(pass);
    states = outcome.states;
    for (const WatchMail& mail : outcome.mails)
      mails[hour] = mail.text;
  }
  return mails;
}

TEST(CounterWatch, ChangesMailOncePerPeriodWithOldAndNewValues) {
  const auto raw = [](int slot, std::uint64_t value) {
    return [=](SmartSnapshot& s) { s.attributes[slot].raw = value; };
  };
  const auto fail = [](SmartSnapshot& s) { AddTest(s, 0x73, 4096); };
  std::map<int, std::function<void(SmartSnapshot&)>> passes = {
      {0, [](SmartSnapshot&) {}},  // first sight: baselines only
      {1, [&](SmartSnapshot& s) { raw(0, 2)(s), s.errorLog->errorCount = 4; }},
      {2, [&](SmartSnapshot& s) { raw(0, 3)(s), fail(s); }},  // inside the period: held
      {3, raw(0, 4)},                                         // after the restart: held
      // The period is over: everything since the last mail; 197's upper bytes are no change.
      {25, raw(1, 0x999900000002)},
      {26, [](SmartSnapshot& s) { AddTest(s, 0x00, {}); }}};  // a passed test: nothing
  EXPECT_EQ(Passes({}, passes),
            (std::map<int, std::string>{
                {1,
                 "DUT's error log count rose from 3 to 4.\nDUT's attribute 5 (Reallocated) raw "
                 "value rose from 0 to 2."},
                {25,
                 "DUT's self-test failed (Completed: read failure, LBA 4096).\nDUT's attribute 5 "
                 "(Reallocated) raw value rose from 2 to 4."}}));

  // Each switch of the /etc file off: its change mails nothing.
  const auto all = [&](SmartSnapshot& s) { raw(1, 7)(s), s.errorLog->errorCount = 5, fail(s); };
  const std::pair<ChangeAlertSwitches, std::string> cases[] = {
      {ParseChangeAlertSwitches("OFF", "", ""),
       "DUT's error log count rose from 3 to 5.\nDUT's attribute 197 (Pending) raw value rose "
       "from 2 to 7."},
      {ParseChangeAlertSwitches("", "no", "5, 196"),
       "DUT's self-test failed (Completed: read failure, LBA 4096)."},
      {ParseChangeAlertSwitches("0", "off", "off"), ""}};
  for (const auto& [switches, text] : cases) {
    const std::map<int, std::string> mails =
        Passes(switches, {{0, [](SmartSnapshot&) {}}, {1, all}});
    EXPECT_EQ(mails.empty() ? "" : mails.begin()->second, text);
  }
}

}  // namespace
}  // namespace ds
