#include "pages/health_page.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "drive/drive_figures.h"
#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "pages/template_expander.h"
#include "platform/file_system.h"
#include "store/history_folder.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {
namespace {

// Page numbers an older build may have left behind.
constexpr int kStalePageNumbers = 26;
constexpr const char* kNotAvailable = "---";
constexpr const char* kIntervalOne = "interval: 1,";

std::string ChartPoint(int year, int month, int day, int health) {
  return Format(
      "{x: new Date(%d, %d, %d), y: %d, indexLabel: \"\", markerType: \"circle\",  "
      "markerColor: \"#03508D\", markerSize: 12},",
      year, month - 1, day, health);
}

struct DisplayTexts {
  const char* dateFormat;
  const char* intervalType;
};

constexpr DisplayTexts kDisplayTexts[kHealthDisplayTypes] = {
    {"DD/MMM/YYYY", "day"},
    {"MMM/YYYY", "month"},
    {"YYYY", "year"},
};

// The texts that name what the page measures: the erase count or the endurance indicator.
struct WearTexts {
  const char* title;
  const char* label;
  const char* healthNote;
  const char* lifespanNote;
  const char* chartLabel;
};

constexpr WearTexts kEraseCountTexts = {
    "average erase count history", "Avg. erase count",
    "100 % is a new disk; 0 % has reached its rated erase cycles.",
    "Extrapolated from the erase-count growth since the history began.", "Health %"};
constexpr WearTexts kEnduranceTexts = {
    "percentage used history", "Percentage used",
    "Health is 100 - the drive's Percentage Used Endurance Indicator from its Device "
    "Statistics log.",
    "Extrapolated from the indicator's growth since the history began, once it has grown by "
    "2 points over 30 days.",
    "Percentage used (%)"};

}  // namespace

int ChartHealth(const std::string& recordValue, std::int64_t limit) {
  if (limit <= 0)
    return 0;
  const std::int64_t value = LeadingInteger64(recordValue);
  // A count at or beyond the limit is a worn-out disk (0), a negative one is no wear (100);
  // in between value * 100 cannot overflow.
  if (value >= limit)
    return 0;
  if (value <= 0)
    return 100;
  return static_cast<int>(100 - value * 100 / limit);
}

std::string HealthPageFile(int displayType) {
  return Format("HealthPage_%d.html", displayType);
}

std::string HealthChartPoints(const std::string& folder, int displayType, const CivilDate& today,
                              std::int64_t limit, int* count, bool percentagesUsed) {
  *count = 0;
  std::string points;
  if (limit <= 0 && !percentagesUsed)
    return points;
  auto add = [&](const IniFileReader& reader, const std::string& key, int year, int month,
                 int day) {
    const std::string value = reader.lookup(key);
    if (value.empty())
      return;
    const int shown =
        percentagesUsed
            ? static_cast<int>(std::clamp<std::int64_t>(LeadingInteger64(value), 0, 255))
            : ChartHealth(value, limit);
    points += ChartPoint(year, month, day, shown);
    ++*count;
  };
  const int y = today.year;
  if (displayType == 0) {
    const std::string path = folder + DayFileName(y, today.month);
    if (!FileExists(path))
      return points;
    const IniFileReader reader = ReadKeyValueFile(path);
    for (int d = 1; d <= today.day; ++d)
      add(reader, DayKey(y, today.month, d), y, today.month, d);
  } else if (displayType == 1) {
    const std::string path = folder + MonthFileName(y);
    if (!FileExists(path))
      return points;
    const IniFileReader reader = ReadKeyValueFile(path);
    for (int m = 1; m <= 12; ++m)
      add(reader, MonthKey(y, m), y, m, 1);
  } else {
    const std::string path = folder + YearFileName();
    if (!FileExists(path))
      return points;
    const IniFileReader reader = ReadKeyValueFile(path);
    for (int z = 2011; z <= y; ++z)
      add(reader, YearKey(z), z, 1, 1);
  }
  return points;
}

std::optional<std::string> BuildHealthPage(const ProgramRoots& roots, const HealthPageInput& input,
                                           HistoryStart* start, std::string* message) {
  for (int n = 0; n < kStalePageNumbers; ++n)
    std::remove(roots.HomeData(HealthPageFile(n)).c_str());
  // Without a drive there is no history folder to name (nor to create).
  if (input.driveCount <= 0) {
    SetMessage(message, "no ATA or SATA disk to show");
    return std::nullopt;
  }
  const std::string folder = HistoryFolder(roots.home, input.model, input.serial);
  const bool endurance = input.percentageUsed.has_value();
  *start = endurance ? LoadEnduranceStart(folder, *input.percentageUsed, input.today)
                     : LoadHistoryStart(folder, input.attr167Raw, input.today);
  const std::string templatePath = PageTemplatePath(roots, kPageHealth);

  const bool makersSeries = input.modelSeries == 0;
  const std::int64_t limit = input.peCycleLimit;
  const std::int64_t eraseCount = static_cast<std::int64_t>(input.attr167Raw);
  HealthFigures health = ComputeHealth(eraseCount, limit);
  const std::int64_t elapsedDays = DayNumber(input.today) - DayNumber(start->date());
  LifespanText lifespan = ComputeLifespan(eraseCount, start->avg_erase_count, elapsedDays, limit);
  std::string eraseText = Format("%llu", static_cast<unsigned long long>(input.attr167Raw));
  if (endurance) {
    health = EnduranceHealth(*input.percentageUsed);
    eraseText = Format("%lld", static_cast<long long>(*input.percentageUsed));
    // An erase-count history left in the folder says nothing about the indicator's growth.
    lifespan = start->isEndurance() ? ComputeEnduranceLifespan(*input.percentageUsed,
                                                               start->percentage_used, elapsedDays)
                                    : LifespanText{kNotAvailable, kNotAvailable};
  }
  std::string healthText = health.text;
  std::string barOne = Format("%d", health.percent);
  std::string barTwo = Format("%d", 100 - health.percent);
  const bool charted = endurance ? start->isEndurance() : makersSeries;
  if (!makersSeries && !endurance) {
    healthText = kNotAvailable;
    barOne = "0";
    barTwo = "100";
    eraseText = kNotAvailable;
    lifespan = {kNotAvailable, kNotAvailable};
  }
  const WearTexts& wear = endurance ? kEnduranceTexts : kEraseCountTexts;

  for (int t = 0; t < kHealthDisplayTypes; ++t) {
    int pointCount = 0;
    const std::string points =
        charted ? HealthChartPoints(folder, t, input.today, limit, &pointCount, endurance) : "";
    std::string interval;
    if (charted && (t != 0 || pointCount < 4))
      interval = kIntervalOne;

    PageFields fields;
    fields.Add("STR_PWR_ON_HRS",
               Format("%llu", static_cast<unsigned long long>(input.powerOnHours)));
    fields.Add("STR_PWR_CYCLE_COUNT",
               Format("%llu", static_cast<unsigned long long>(input.powerCycles)));
    fields.Add("STR_AVG_ERASE_COUNT", eraseText);
    fields.Add("STR_HEALTH_PERCENTAGE", healthText);
    fields.Add("STR_LINE_1_HEALTH_PERCENTAGE", barOne);
    fields.Add("STR_LINE_2_HEALTH_PERCENTAGE", barTwo);
    fields.Add("STR_CHK_ACTIVE_REC", input.active_rec != 0 ? "CHECKED" : "");
    fields.Add("STR_COOKIE_DISPLAY_TYPE", Format("health_display_type=%d", t));
    fields.Add("STR_COOKIE_DD_DISPLAY_TYPE", t == 0 ? "selected" : "");
    fields.Add("STR_COOKIE_MM_DISPLAY_TYPE", t == 1 ? "selected" : "");
    fields.Add("STR_COOKIE_YY_DISPLAY_TYPE", t == 2 ? "selected" : "");
    fields.Add("STR_DATE_DISPLAY_TYPE", kDisplayTexts[t].dateFormat);
    fields.Add("STR_DATA_POINT", points);
    fields.Add("STR_LIFESPAN_YEARS", lifespan.years);
    fields.Add("STR_LIFESPAN_DAYS", lifespan.days);
    fields.Add("STR_LEFTSPAN_BAR_COLOR", health.color);
    fields.Add("STR_INTERVALTYPE", kDisplayTexts[t].intervalType);
    fields.Add("STR_INTERVALVALUE", interval);
    fields.Add("STR_WEAR_TITLE", wear.title);
    fields.Add("STR_WEAR_LABEL", wear.label);
    fields.Add("STR_HEALTH_NOTE", wear.healthNote);
    fields.Add("STR_LIFESPAN_NOTE", wear.lifespanNote);
    fields.Add("STR_CHART_LABEL", wear.chartLabel);
    if (!ExpandTemplate(templatePath, roots.HomeData(HealthPageFile(t)), fields, message))
      return std::nullopt;
  }
  // Any other display type has no page: the browser stays where it is, without waiting.
  if (input.health_display_type < 0 || input.health_display_type >= kHealthDisplayTypes) {
    SetMessage(message, "no chart of display type " + std::to_string(input.health_display_type));
    return std::nullopt;
  }
  return HealthPageFile(input.health_display_type);
}

}  // namespace ds
