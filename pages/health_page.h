#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/program_roots.h"

#include "store/history_date.h"
#include "store/history_records.h"

// The Health page: power-on figures, average erase count, health percentage with its
// two-part bar, remaining lifespan, the history-recording check box and a line chart of
// the erase-count history by day (HealthPage_0.html), month (_1) or year (_2). A disk
// measured by its endurance indicator shows the indicator instead of the erase count, says
// so, and charts its endurance history as percentages used.
namespace ds {

// The health percent of a stored erase-count text: 100 - value * 100 / limit with the
// value's leading integer and the quotient truncated, kept within 0 .. 100. Only for a
// positive limit.
int ChartHealth(const std::string& recordValue, std::int64_t limit);

// The chart's display types and their page files.
inline constexpr int kHealthDisplayTypes = 3;  // 0 days, 1 months, 2 years
std::string HealthPageFile(int displayType);   // "HealthPage_0.html"

// The chart points of one display type read from the history folder `folder`, in date
// order, as the chart script receives them; `count` gets their number. Each point is the
// ChartHealth of its value, or for an endurance history (`percentagesUsed`, `limit` unused)
// the percentage used itself: the value's leading integer within 0 .. 255.
std::string HealthChartPoints(const std::string& folder, int displayType, const CivilDate& today,
                              std::int64_t limit, int* count, bool percentagesUsed = false);

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
  // The endurance indicator of a disk whose health comes from it (HealthSourceOf), else
  // missing: the page then shows the erase-count figures as for the maker's disks.
  std::optional<std::int64_t> percentageUsed = std::nullopt;
  int active_rec = 0;
  int health_display_type = 0;
  CivilDate today;
};

// Loads (creating when needed) the start record of the selected disk into `start` (of an
// endurance history for a disk with `percentageUsed`), deletes the previous pages, writes
// HealthPage_0..2.html into the home folder and returns the file name of the page
// `health_display_type` selects; nothing (with `message`; the browser is
// not moved) when there is no drive, no template, a page could not be written or the
// display type is not 0 to 2.
[[nodiscard]] std::optional<std::string> BuildHealthPage(const ProgramRoots& roots,
                                                         const HealthPageInput& input,
                                                         HistoryStart* start, std::string* message);

}  // namespace ds
