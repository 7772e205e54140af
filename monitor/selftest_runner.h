#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "drive/selftest.h"
#include "store/selftest_schedule.h"

// Which scheduled self-test a monitor pass starts, as a pure function. One disk at a time:
// while any disk's test runs (its execution status says so, or the monitor started one whose
// estimated time is not over on a disk this pass could not read) none is started, and a pass
// starts at most one. A disk asleep, busy, unread or without self-tests is skipped; its test
// stays due for a later pass. When both tests are due on a disk, the extended one runs and
// counts for both (it covers what the short one checks). When a test is due and how a missed
// one is caught up is SelfTestDue's.
namespace ds {

struct ScheduleDisk {
  bool ready = false;             // read this pass, awake and free, and it offers self-tests
  bool running = false;           // a test of its own runs
  std::int64_t shortHandled = 0;  // DiskWatchState::shortTestHandled
  std::int64_t extendedHandled = 0;
};

struct ScheduledTest {
  std::size_t disk = 0;  // index into the disks
  SelfTestKind kind = SelfTestKind::kShort;
  // The due times to record once it started: 0 leaves that kind's time as it is.
  std::int64_t shortDue = 0;
  std::int64_t extendedDue = 0;
};

std::optional<ScheduledTest> PickScheduledTest(const SelfTestSchedule& schedule,
                                               const std::vector<ScheduleDisk>& disks,
                                               std::time_t now, std::time_t programStart);

}  // namespace ds
