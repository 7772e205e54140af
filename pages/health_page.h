#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/program_roots.h"

#include "store/history_date.h"
#include "store/history_records.h"

// The Health page: power-on figures, average erase count, health percentage with its
// two-part bar, remaining lifespan, the history-recording check box and a line chart of
// the erase-count history by day (HealthPage_0.html), month (_1) or year (_2).
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

// The health percent of a stored erase-count text: 100 - value * 100 / limit with the
// value's leading integer and the quotient truncated, kept within 0 .. 100. Only for a
// positive limit.
int ChartHealth(const std::string& recordValue, std::int64_t limit);

// The chart's display types and their page files.
inline constexpr int kHealthDisplayTypes = 3;  // 0 days, 1 months, 2 years
std::string HealthPageFile(int displayType);   // "HealthPage_0.html"

// The chart points of one display type read from the history folder `folder`, in date
// order, as the chart script receives them; `count` gets their number.
std::string HealthChartPoints(const std::string& folder, int displayType, const CivilDate& today,
                              std::int64_t limit, int* count);

// Everything a Health page build reads besides the files.
struct HealthPageInput {
  int driveCount = 0;
  std::string model;   // of the selected disk, as stored
  std::string serial;  // of the selected disk, as stored
  std::uint64_t powerOnHours = 0;
  std::uint64_t powerCycles = 0;
  std::uint64_t attr167Raw = 0;
  int modelSeries = 99;
  int peCycleLimit = 3000;
  int active_rec = 0;
  int health_display_type = 0;
  CivilDate today;
};

// Loads (creating when needed) the start record of the selected disk into `start`, deletes
// the previous pages, writes HealthPage_0..2.html into the home folder and returns the file
// name of the page `health_display_type` selects; nothing (with `message`; the browser is
// not moved) when there is no drive, no template, a page could not be written or the
// display type is not 0 to 2.
[[nodiscard]] std::optional<std::string> BuildHealthPage(const ProgramRoots& roots,
                                                         const HealthPageInput& input,
                                                         HistoryStart* start, std::string* message);

}  // namespace ds
