#include "monitor/rearm_period.h"

#include <ctime>
#include <optional>

#include "store/history_date.h"

namespace ds {
namespace {

// Ten thousand years of months: far beyond any realistic run, and small enough that the
// end date stays a valid calendar date for mktime.
constexpr int kMaxMonths = 12 * 10000;

// The end of a period of `refreshBy` calendar months (1 .. kMaxMonths) from `lastReArm`.
std::optional<std::time_t> MonthPeriodEnd(WallClock::time_point lastReArm, int refreshBy) {
  const std::time_t start = WallClock::to_time_t(lastReArm);
  std::tm local{};
  if (localtime_r(&start, &local) == nullptr)
    return std::nullopt;
  const long long months = local.tm_mon + static_cast<long long>(refreshBy);
  const long long year = local.tm_year + 1900LL + months / 12;
  const int month = static_cast<int>(months % 12);  // 0-11
  const int lastDay = DaysInMonth(static_cast<int>(year), month + 1);
  local.tm_year = static_cast<int>(year - 1900);
  local.tm_mon = month;
  if (local.tm_mday > lastDay)
    local.tm_mday = lastDay;
  local.tm_isdst = -1;  // the period ends at the same wall-clock time
  const std::time_t end = std::mktime(&local);
  if (end == static_cast<std::time_t>(-1))
    return std::nullopt;
  return end;
}

}  // namespace

bool ReArmDue(WallClock::time_point lastReArm, WallClock::time_point now, int refreshBy,
              int refreshByType) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - lastReArm).count();
  const long long days = seconds / 86400;
  switch (refreshByType) {
    case kRefreshByDay:
      return days >= refreshBy;
    case kRefreshByYear:
      return days >= 365LL * refreshBy;
    case kRefreshByMonth: {
      if (refreshBy <= 0)
        return true;
      // A period beyond any calendar the clock can reach never ends (and its date would
      // overflow the arithmetic).
      if (refreshBy > kMaxMonths)
        return false;
      const std::optional<std::time_t> end = MonthPeriodEnd(lastReArm, refreshBy);
      return end && WallClock::to_time_t(now) >= *end;
    }
    default:
      return false;
  }
}

std::optional<WallClock::time_point> ReArmTime(WallClock::time_point lastReArm, int refreshBy,
                                               int refreshByType) {
  using Days = std::chrono::duration<long long, std::ratio<86400>>;
  const auto after = [&](long long days) -> std::optional<WallClock::time_point> {
    if (days <= 0)
      return lastReArm;
    // Beyond what the clock can hold the period never ends.
    if (days > 365LL * 10000)
      return std::nullopt;
    return lastReArm + std::chrono::duration_cast<WallClock::duration>(Days(days));
  };
  switch (refreshByType) {
    case kRefreshByDay:
      return after(refreshBy);
    case kRefreshByYear:
      return after(365LL * refreshBy);
    case kRefreshByMonth: {
      if (refreshBy <= 0)
        return lastReArm;
      if (refreshBy > kMaxMonths)
        return std::nullopt;
      const std::optional<std::time_t> end = MonthPeriodEnd(lastReArm, refreshBy);
      if (!end)
        return std::nullopt;
      return WallClock::from_time_t(*end);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace ds
