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

// The disk's own Percentage Used Endurance Indicator, when its Device Statistics log
// marks it supported and valid (it may exceed 100).
std::optional<std::int64_t> EnduranceIndicator(const SmartSnapshot& snapshot);

// The health figures of an endurance indicator: 100 - percentage used, within 0 .. 100.
HealthFigures EnduranceHealth(std::int64_t percentageUsed);

// The days until the indicator reaches 100, growing as it has since the start date
// (`startPercent`, `elapsedDays` days ago). Nothing before it has grown by at least 2 points
// over at least 30 days: a one-point step says too little about the rate; 0 at or past 100.
std::optional<std::int64_t> RemainingEnduranceDays(std::int64_t percentageUsed,
                                                   std::int64_t startPercent,
                                                   std::int64_t elapsedDays);

// As ComputeLifespan for the indicator: "---" without a figure or beyond five years.
LifespanText ComputeEnduranceLifespan(std::int64_t percentageUsed, std::int64_t startPercent,
                                      std::int64_t elapsedDays);

// Where a disk's health figure comes from.
enum class HealthSource {
  kNone,
  kEraseCount,  // the maker's disks: attribute 167 against the rated cycles
  kEndurance,   // any other disk: the Device Statistics endurance indicator
};

// The source a snapshot's health comes from: the erase count for the maker's series 0 with
// a positive limit, else the endurance indicator when valid, else none.
HealthSource HealthSourceOf(const SmartSnapshot& snapshot);

// The disk's own verdict (SMART RETURN STATUS): "passed", "threshold exceeded", or "---"
// when it did not answer (never "passed" then).
const char* SmartVerdictText(const std::optional<bool>& passed);

// The summary figures of one snapshot, each missing when it cannot be given.
struct DriveFigures {
  HealthSource healthSource = HealthSource::kNone;
  std::optional<int> healthPercent;          // missing for HealthSource::kNone
  std::optional<std::int64_t> lifespanDays;  // as healthPercent, from a history start of
                                             // the same source
  std::optional<int> temperatureCelsius;     // attribute 194 of the data sector
};

// The figures of `snapshot`; `start` is the disk's history start (null: none), dated
// `daysSinceStart` days ago.
DriveFigures FiguresOf(const SmartSnapshot& snapshot, const HistoryStart* start,
                       std::int64_t daysSinceStart);

}  // namespace ds
