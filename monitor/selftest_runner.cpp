#include "monitor/selftest_runner.h"

#include <algorithm>

namespace ds {

std::optional<ScheduledTest> PickScheduledTest(const SelfTestSchedule& schedule,
                                               const std::vector<ScheduleDisk>& disks,
                                               std::time_t now, std::time_t programStart) {
  if (std::any_of(disks.begin(), disks.end(), [](const ScheduleDisk& d) { return d.running; }))
    return std::nullopt;
  const auto due = [&](const std::optional<SelfTestRule>& rule, std::int64_t handled) {
    std::time_t at = 0;
    return rule && SelfTestDue(*rule, now, programStart, handled, &at) ? at : std::time_t{0};
  };
  for (std::size_t i = 0; i < disks.size(); ++i) {
    if (!disks[i].ready)
      continue;
    ScheduledTest test{i, SelfTestKind::kShort, due(schedule.shortTest, disks[i].shortHandled),
                       due(schedule.extendedTest, disks[i].extendedHandled)};
    if (test.extendedDue != 0)
      test.kind = SelfTestKind::kExtended;
    if (test.shortDue != 0 || test.extendedDue != 0)
      return test;
  }
  return std::nullopt;
}

}  // namespace ds
