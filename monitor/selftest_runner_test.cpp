#include "monitor/selftest_runner.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ds {
namespace {

TEST(SelfTestRunner, OneDiskAtATimeOnlyWhenReadyAndDue) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::string why;
  const SelfTestSchedule schedule{ParseSelfTestRule("weekly Sun 03", &why),
                                  ParseSelfTestRule("monthly 1 04", &why)};
  constexpr std::time_t kSunday = 1796526000;  // 2026-12-06 03:00 UTC, the short test's time
  constexpr std::time_t kFirst = 1796184000;   // 2026-12-02 04:00 UTC, after the extended one
  const ScheduleDisk ready{true, false, kFirst, kFirst}, asleep{false, false, kFirst, kFirst};
  const ScheduleDisk testing{false, true, kFirst, kFirst}, done{true, false, kSunday, kFirst};
  ScheduleDisk both = ready;
  both.extendedHandled = kFirst - 86400 * 2;  // December 1st 04:00 not run yet
  // The disks, the program's start and now (minutes after the short test's time), the pick:
  // the disk's index (-1 none) and its kind.
  const std::tuple<std::vector<ScheduleDisk>, int, int, int, SelfTestKind> cases[] = {
      {{ready}, -600, 10, 0, SelfTestKind::kShort},
      {{ready}, -600, -1, -1, SelfTestKind::kShort},   // not yet due
      {{asleep}, -600, 10, -1, SelfTestKind::kShort},  // asleep or busy: not ready
      {{asleep, ready}, -600, 10, 1, SelfTestKind::kShort},
      {{testing, ready}, -600, 10, -1, SelfTestKind::kShort},  // another disk's test runs
      {{done}, -600, 10, -1, SelfTestKind::kShort},            // started once
      {{ready}, 5, 34, -1, SelfTestKind::kShort},  // missed while off: 30 minutes after start
      {{ready}, 5, 35, 0, SelfTestKind::kShort},
      {{both}, -600, 10, 0, SelfTestKind::kExtended},
  };
  for (const auto& [disks, start, now, disk, kind] : cases) {
    const std::optional<ScheduledTest> pick =
        PickScheduledTest(schedule, disks, kSunday + now * 60, kSunday + start * 60);
    ASSERT_EQ(pick ? static_cast<int>(pick->disk) : -1, disk) << start << " " << now;
    if (pick) {
      EXPECT_EQ(std::tuple(pick->kind, pick->shortDue, pick->extendedDue),
                std::tuple(kind, kSunday, kind == SelfTestKind::kExtended ? kFirst - 86400 : 0));
    }
  }
}

}  // namespace
}  // namespace ds
