#pragma once

#include <cstdint>
#include <functional>

// Calendar dates of the erase-count history. All date logic takes "today" from a
// LocalDateSource so it can be driven by a fixed date; only the program's top level
// hands it the real local calendar.
namespace ds {

// A day of the Gregorian calendar: year with four digits, month 1-12, day 1-31.
struct CivilDate {
  int year = 0;
  int month = 0;
  int day = 0;

  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Gives today's local date.
using LocalDateSource = std::function<CivilDate()>;

// Today by the machine's local time zone.
CivilDate LocalToday();

// 28 to 31: 30 for April, June, September and November; February has 29 days in years
// divisible by 4 but not by 100, and in years divisible by 400.
int DaysInMonth(int year, int month);

// Days since 1970-01-01 of a date (negative before it). Months outside 1-12 and days beyond
// the month roll over as a calendar does.
std::int64_t DayNumber(const CivilDate& date);

// The date `dayNumber` days after 1970-01-01.
CivilDate DateOfDayNumber(std::int64_t dayNumber);

// True for month 1-12 and day 1 .. DaysInMonth.
bool IsValidDate(const CivilDate& date);

}  // namespace ds
