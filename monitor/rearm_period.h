#pragma once

#include <chrono>
#include <optional>

// When the alerts, silenced after a mail, are armed again: after `refreshBy` days (type 0),
// calendar months (type 1, as the Tool page labels it: the same day of the month that many
// months later, the last day of a shorter month), or 365-day years (type 2). Any other type
// never re-arms, nor does a period longer than the calendar reaches. Whole days count as the
// seconds between the two times divided by 86400.
namespace ds {

using WallClock = std::chrono::system_clock;

inline constexpr int kRefreshByDay = 0;
inline constexpr int kRefreshByMonth = 1;
inline constexpr int kRefreshByYear = 2;

// True when the period that began at `lastReArm` is over at `now`.
bool ReArmDue(WallClock::time_point lastReArm, WallClock::time_point now, int refreshBy,
              int refreshByType);

// When that period ends, for showing it ("silent until ..."); none when it never ends.
std::optional<WallClock::time_point> ReArmTime(WallClock::time_point lastReArm, int refreshBy,
                                               int refreshByType);

}  // namespace ds
