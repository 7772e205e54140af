#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "drive/drive_record.h"
#include "store/history_records.h"

// The figures of a S.M.A.R.T. snapshot: health percentage, remaining lifespan and
// temperature, computed alike for the pages, the monitor's alert rules, the metrics and the
// report. Pure arithmetic: nothing here reads a disk or a file.
namespace ds {

// The health figures of an average erase count E against the erase-count limit L.
struct HealthFigures {
  std::string text;   // "100", "0", " 66.67" ("%6.2f"), or "---" when L is not positive
  int percent = 0;    // H, whole percent for the bar
  std::string color;  // the bar colour by H
};

// 100 at E = 0, 0 from E = L on, else 100 - E * 100 / L. A limit of 0 or below gives "---"
// and an empty bar: there is nothing to divide by.
HealthFigures ComputeHealth(std::int64_t eraseCount, std::int64_t limit);

// Remaining lifespan in whole years and days, or "---" for both.
struct LifespanText {
  std::string years;
  std::string days;
};

// The days until the erase count reaches `limit`, growing as it has since the start date
// (E0 = `startCount`, `elapsedDays` days ago; the growth is that of the low 32 bits). Nothing
// on the start day or before, without growth, or for a limit of 0 or below; 0 for a disk at
// or beyond its limit. The alert rules and the page's figure both come from here.
std::optional<std::int64_t> RemainingLifespanDays(std::int64_t eraseCount, std::int32_t startCount,
                                                  std::int64_t elapsedDays, std::int64_t limit);

// Extrapolates the growth since the start date (E0 = `startCount`, `elapsedDays` days ago)
// to the day the erase count reaches `limit`. "---" without growth, on the start day, for
// more than five years or a limit of 0 or below; "0" when the growth alone reaches it.
LifespanText ComputeLifespan(std::int64_t eraseCount, std::int32_t startCount,
                             std::int64_t elapsedDays, std::int64_t limit);

// Whole days from local midnight of the history's start date to `now`; 0 when the start
// date cannot be placed on the local calendar.
std::int64_t DaysSinceHistoryStart(const HistoryStart& start,
                                   std::chrono::system_clock::time_point now);

// Scans the 31 twelve-byte attribute slots from byte 2 of a SMART data sector; the last
// slot with id 194 gives the temperature (its first raw byte). False when none has it.
bool TemperatureFromSmartSector(std::span<const std::uint8_t, 512> sector, int* celsius);

// The summary figures of one snapshot, each missing when it cannot be given.
struct DriveFigures {
  std::optional<int> healthPercent;          // series 0 with a positive limit only
  std::optional<std::int64_t> lifespanDays;  // as healthPercent, and a history start
  std::optional<int> temperatureCelsius;     // attribute 194 of the data sector
};

// The figures of `snapshot`; `start` is the disk's history start (null: none), dated
// `daysSinceStart` days ago.
DriveFigures FiguresOf(const SmartSnapshot& snapshot, const HistoryStart* start,
                       std::int64_t daysSinceStart);

}  // namespace ds
