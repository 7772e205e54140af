#include "drive/drive_figures.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace ds {
namespace {

constexpr std::int64_t kLongestLifespanDays = 5 * 365;
constexpr const char* kNotAvailable = "---";
constexpr std::uint8_t kTemperatureAttribute = 194;
constexpr int kSlotsScanned = 31;

const char* HealthColor(int percent) {
  if (percent > 80)
    return "#03508D";
  if (percent > 60)
    return "#5FA1CE";
  if (percent > 40)
    return "#AAC6DF";
  if (percent > 20)
    return "#DAA2A4";
  return "#C12000";
}

std::string HealthText(double health) {
  char text[32];
  std::snprintf(text, sizeof text, "%6.2f", health);
  return text;
}

}  // namespace

HealthFigures ComputeHealth(std::int64_t eraseCount, std::int64_t limit) {
  if (limit <= 0)
    return {kNotAvailable, 0, HealthColor(100)};
  if (eraseCount == 0)
    return {"100", 100, HealthColor(100)};
  // A negative count can only be a wrapped 64-bit raw value: far beyond any limit.
  if (eraseCount >= limit || eraseCount < 0)
    return {"0", 0, HealthColor(0)};
  const double health =
      100.0 - static_cast<double>(eraseCount) * 100.0 / static_cast<double>(limit);
  const int percent = static_cast<int>(health);
  return {HealthText(health), percent, HealthColor(percent)};
}

std::optional<std::int64_t> RemainingLifespanDays(std::int64_t eraseCount, std::int32_t startCount,
                                                  std::int64_t elapsedDays, std::int64_t limit) {
  // A clock set back before the start date gives no growth rate either.
  if (limit <= 0 || elapsedDays <= 0)
    return std::nullopt;
  // The growth of the low 32 bits: beyond them the count may lie below the start count.
  const std::int64_t growth =
      static_cast<std::int64_t>(static_cast<std::uint32_t>(eraseCount)) - startCount;
  if (growth <= 0)
    return std::nullopt;
  if (eraseCount >= limit || eraseCount < 0 || growth >= limit)
    return 0;  // worn out
  const double days = static_cast<double>(elapsedDays) * static_cast<double>(limit - eraseCount) /
                      static_cast<double>(growth);
  return static_cast<std::int64_t>(days);
}

LifespanText ComputeLifespan(std::int64_t eraseCount, std::int32_t startCount,
                             std::int64_t elapsedDays, std::int64_t limit) {
  const LifespanText unknown{kNotAvailable, kNotAvailable};
  if (eraseCount <= startCount)
    return unknown;
  // Past its limit without the growth alone reaching it: the page shows no figure.
  const std::int64_t growth =
      static_cast<std::int64_t>(static_cast<std::uint32_t>(eraseCount)) - startCount;
  if (eraseCount > limit && growth < limit)
    return unknown;
  const std::optional<std::int64_t> days =
      RemainingLifespanDays(eraseCount, startCount, elapsedDays, limit);
  if (!days || *days > kLongestLifespanDays)
    return unknown;
  return {std::to_string(*days / 365), std::to_string(*days % 365)};
}

std::int64_t DaysSinceHistoryStart(const HistoryStart& start,
                                   std::chrono::system_clock::time_point now) {
  std::tm midnight{};
  midnight.tm_year = start.start_date_year - 1900;
  midnight.tm_mon = start.start_date_month - 1;
  midnight.tm_mday = start.start_date_day;
  midnight.tm_isdst = -1;
  const std::time_t from = std::mktime(&midnight);
  if (from == static_cast<std::time_t>(-1))
    return 0;
  return (static_cast<std::int64_t>(std::chrono::system_clock::to_time_t(now)) - from) / 86400;
}

bool TemperatureFromSmartSector(std::span<const std::uint8_t, 512> sector, int* celsius) {
  bool found = false;
  for (int slot = 0; slot < kSlotsScanned; ++slot) {
    const std::size_t at = 2 + 12 * static_cast<std::size_t>(slot);
    if (sector[at] == kTemperatureAttribute) {
      *celsius = sector[at + 5];
      found = true;
    }
  }
  return found;
}

std::optional<std::int64_t> EnduranceIndicator(const SmartSnapshot& snapshot) {
  if (!snapshot.deviceStatistics)
    return std::nullopt;
  const std::optional<std::int64_t> used =
      snapshot.deviceStatistics->Value(DeviceStatisticId::kPercentageUsed);
  // The field is a byte wide; anything else is no indicator.
  if (!used || *used < 0 || *used > 255)
    return std::nullopt;
  return used;
}

HealthFigures EnduranceHealth(std::int64_t percentageUsed) {
  const int percent = static_cast<int>(std::clamp<std::int64_t>(100 - percentageUsed, 0, 100));
  return {std::to_string(percent), percent, HealthColor(percent)};
}

std::optional<std::int64_t> RemainingEnduranceDays(std::int64_t percentageUsed,
                                                   std::int64_t startPercent,
                                                   std::int64_t elapsedDays) {
  constexpr std::int64_t kLeastGrowth = 2;
  constexpr std::int64_t kLeastDays = 30;
  const std::int64_t growth = percentageUsed - startPercent;
  if (growth < kLeastGrowth || elapsedDays < kLeastDays)
    return std::nullopt;
  if (percentageUsed >= 100)
    return 0;
  return elapsedDays * (100 - percentageUsed) / growth;
}

LifespanText ComputeEnduranceLifespan(std::int64_t percentageUsed, std::int64_t startPercent,
                                      std::int64_t elapsedDays) {
  const std::optional<std::int64_t> days =
      RemainingEnduranceDays(percentageUsed, startPercent, elapsedDays);
  if (!days || *days > kLongestLifespanDays)
    return {kNotAvailable, kNotAvailable};
  return {std::to_string(*days / 365), std::to_string(*days % 365)};
}

HealthSource HealthSourceOf(const SmartSnapshot& snapshot) {
  if (snapshot.modelSeries == 0 && snapshot.peCycleLimit > 0)
    return HealthSource::kEraseCount;
  return EnduranceIndicator(snapshot) ? HealthSource::kEndurance : HealthSource::kNone;
}

DriveFigures FiguresOf(const SmartSnapshot& snapshot, const HistoryStart* start,
                       std::int64_t daysSinceStart) {
  DriveFigures figures;
  figures.temperatureCelsius = snapshot.attribute194Celsius;
  figures.healthSource = HealthSourceOf(snapshot);
  if (figures.healthSource == HealthSource::kNone)
    return figures;
  // A history of the other source says nothing about this figure's growth.
  const bool endurance = figures.healthSource == HealthSource::kEndurance;
  if (start != nullptr && start->isEndurance() != endurance)
    start = nullptr;
  if (endurance) {
    const std::int64_t used = *EnduranceIndicator(snapshot);
    figures.healthPercent = EnduranceHealth(used).percent;
    if (start != nullptr)
      figures.lifespanDays = RemainingEnduranceDays(used, start->percentage_used, daysSinceStart);
    return figures;
  }
  const auto eraseCount = static_cast<std::int64_t>(snapshot.attr167Raw);
  figures.healthPercent = ComputeHealth(eraseCount, snapshot.peCycleLimit).percent;
  if (start != nullptr) {
    figures.lifespanDays = RemainingLifespanDays(eraseCount, start->avg_erase_count, daysSinceStart,
                                                 snapshot.peCycleLimit);
  }
  return figures;
}

const char* SmartVerdictText(const std::optional<bool>& passed) {
  return !passed ? "---" : *passed ? "passed" : "threshold exceeded";
}

}  // namespace ds
