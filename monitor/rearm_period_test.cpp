#include "monitor/rearm_period.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>

namespace ds {
namespace {

// A local wall-clock time (the time zone is fixed to UTC for the test's duration).
WallClock::time_point Local(int year, int month, int day, int hour = 12) {
  std::tm local{};
  local.tm_year = year - 1900, local.tm_mon = month - 1, local.tm_mday = day;
  local.tm_hour = hour, local.tm_isdst = -1;
  return WallClock::from_time_t(std::mktime(&local));
}

TEST(ReArmPeriodTest, DaysMonthsYearsAndNever) {
  setenv("TZ", "UTC", 1);
  tzset();
  // Last re-arm, now, refresh by, its type, due.
  const std::tuple<WallClock::time_point, WallClock::time_point, int, int, bool> cases[] = {
      // Calendar months (days: the monitor loop's test), a short month clamps the day.
      {Local(2026, 1, 31), Local(2026, 2, 27), 1, kRefreshByMonth, false},
      {Local(2026, 1, 31), Local(2026, 2, 28, 12), 1, kRefreshByMonth, true},
      {Local(2028, 1, 31), Local(2028, 2, 28, 12), 1, kRefreshByMonth, false},
      {Local(2028, 1, 31), Local(2028, 2, 29, 12), 1, kRefreshByMonth, true},
      {Local(2026, 11, 15), Local(2027, 2, 14), 3, kRefreshByMonth, false},
      {Local(2026, 11, 15), Local(2027, 2, 15, 12), 3, kRefreshByMonth, true},
      // Years are 365 days.
      {Local(2027, 6, 1), Local(2028, 5, 31, 12), 1, kRefreshByYear, true},
      {Local(2027, 6, 1), Local(2028, 5, 30, 12), 1, kRefreshByYear, false},
      // Huge periods are merely far away, never over at once.
      {Local(2026, 1, 1), Local(2126, 1, 1, 12), 1200, kRefreshByMonth, true},
      {Local(2026, 6, 1), Local(2126, 1, 1), INT_MAX, kRefreshByDay, false},
      {Local(2026, 6, 1), Local(2126, 1, 1), INT_MAX, kRefreshByMonth, false},
      {Local(2026, 6, 1), Local(2126, 1, 1), INT_MAX, kRefreshByYear, false},
      // Any other type never re-arms.
      {Local(2020, 1, 1), Local(2030, 1, 1), 0, 3, false},
  };
  for (const auto& [last, now, refreshBy, type, due] : cases) {
    EXPECT_EQ(ReArmDue(last, now, refreshBy, type), due)
        << type << " at " << WallClock::to_time_t(now);
    // The end shown ("silent until ...") is the moment the period is over.
    const std::optional<WallClock::time_point> end = ReArmTime(last, refreshBy, type);
    EXPECT_EQ(end.has_value() && *end <= now, due) << type << " at " << WallClock::to_time_t(now);
  }
  EXPECT_EQ(ReArmTime(Local(2026, 1, 1), 2, kRefreshByDay), Local(2026, 1, 3));
}

}  // namespace
}  // namespace ds
