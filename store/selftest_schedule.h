#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "store/system_config.h"

// When the monitor runs self-tests by itself: the /etc file's SelfTest_Short and
// SelfTest_Long, each "weekly DAY HH" (DAY Sun..Sat) or "monthly D HH" (D 1-31; a month
// without day D takes its last day), in local time, or "off". A test falls due at the
// start of its hour:
//   - an hour that does not exist that day (clocks going forward) falls due where the
//     clocks jumped, so the next pass runs it;
//   - an hour that happens twice (clocks going back) falls due at its first start only,
//     so it runs once;
//   - when the program was not running at the time (the machine was off), only the latest
//     missed time is caught up, once, and no sooner than 30 minutes after the start.
namespace ds {

struct SelfTestRule {
  enum class Period { kWeekly, kMonthly };
  Period period = Period::kWeekly;
  int day = 0;  // weekly: 0 Sunday .. 6 Saturday; monthly: 1-31
  int hour = 0;
};

// The rule of one key's value; empty for "off" or "" (no schedule). Empty with `message`
// set when the text is none of the forms.
std::optional<SelfTestRule> ParseSelfTestRule(std::string_view text, std::string* message);

// The latest time at or before `now` at which `rule` fell due.
std::time_t LatestDueTime(const SelfTestRule& rule, std::time_t now);

inline constexpr std::time_t kCatchUpDelaySeconds = 30 * 60;

// Whether a test of `rule` is due at a pass at `now`. `handledUntil` is the due time of the
// test last run (or, for a disk without one, when it was first seen); `programStart` when
// this run of the program began. When due, `dueTime` receives the time to record as
// `handledUntil` once the test has started; a test that cannot start now (the disk asleep
// or busy) is simply due again at the next pass.
bool SelfTestDue(const SelfTestRule& rule, std::time_t now, std::time_t programStart,
                 std::time_t handledUntil, std::time_t* dueTime);

// The two schedules of the /etc file; a value that does not parse is left out and named
// in `why`.
struct SelfTestSchedule {
  std::optional<SelfTestRule> shortTest;
  std::optional<SelfTestRule> extendedTest;
};
SelfTestSchedule ScheduleFromConfig(const SystemConfig& config, std::string* why);

}  // namespace ds
