#include "monitor/rearm_period.h"

#include <ctime>

#include "store/history_date.h"

namespace ds {

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
      const std::time_t start = WallClock::to_time_t(lastReArm);
      std::tm local{};
      localtime_r(&start, &local);
      const int months = local.tm_mon + refreshBy;
      const int year = local.tm_year + 1900 + months / 12;
      const int month = months % 12;  // 0-11
      const int lastDay = DaysInMonth(year, month + 1);
      local.tm_year = year - 1900;
      local.tm_mon = month;
      if (local.tm_mday > lastDay)
        local.tm_mday = lastDay;
      local.tm_isdst = -1;  // the period ends at the same wall-clock time
      return WallClock::to_time_t(now) >= std::mktime(&local);
    }
    default:
      return false;
  }
}

}  // namespace ds
