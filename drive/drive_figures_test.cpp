#include "drive/drive_figures.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

namespace ds {
namespace {

TEST(ComputeHealth, TextBarAndColourFollowTheEraseCount) {
  const std::tuple<std::int64_t, std::int64_t, const char*> cases[] = {
      // E, L, text|H|colour
      {1000, 3000, " 66.67|66|#5FA1CE"}, {2400, 3000, " 20.00|20|#C12000"},
      {3000, 3000, "0|0|#C12000"},       {4000, 3000, "0|0|#C12000"},
      {0, 3000, "100|100|#03508D"},      {1, 3000, " 99.97|99|#03508D"},
      {599, 3000, " 80.03|80|#5FA1CE"},  {570, 3000, " 81.00|81|#03508D"},
      {1200, 3000, " 60.00|60|#AAC6DF"}, {1170, 3000, " 61.00|61|#5FA1CE"},
      {1800, 3000, " 40.00|40|#DAA2A4"}, {1770, 3000, " 41.00|41|#AAC6DF"},
      {2370, 3000, " 21.00|21|#DAA2A4"}, {2999, 3000, "  0.03|0|#C12000"},
      {-1, 3000, "0|0|#C12000"},  // a wrapped 64-bit raw value
      {500, 0, "---|0|#03508D"},         {0, -7, "---|0|#03508D"},
  };
  for (const auto& [e, l, expected] : cases) {
    const HealthFigures f = ComputeHealth(e, l);
    EXPECT_EQ(f.text + "|" + std::to_string(f.percent) + "|" + f.color, expected) << e << "/" << l;
  }
}

TEST(ComputeLifespan, ExtrapolatesTheGrowthSinceTheStartDate) {
  // What, E, E0, D, L, years|days.
  const std::tuple<const char*, std::int64_t, std::int32_t, std::int64_t, std::int64_t, const char*>
      cases[] = {
          {"570 days", 150, 100, 10, 3000, "1|205"},
          {"beyond five years", 101, 100, 10, 3000, "---|---"},
          {"exactly five years", 1000, 0, 1825, 2000, "5|0"},
          {"one day past five years", 1000, 0, 1826, 2000, "---|---"},
          {"no growth", 100, 100, 10, 3000, "---|---"},
          {"count fell", 90, 100, 10, 3000, "---|---"},
          {"start day", 150, 100, 0, 3000, "---|---"},
          {"clock before the start", 150, 100, -3, 3000, "---|---"},
          {"growth reaches the limit", 3100, 100, 10, 3000, "0|0"},
          {"past the limit", 3100, 2000, 10, 3000, "---|---"},
          {"no limit", 150, 100, 10, 0, "---|---"},
          {"negative limit", 150, 100, 10, -1, "---|---"},
          {"count beyond 32 bits", (1LL << 32) + 50, 100, 10, 3000, "---|---"},
          {"fraction truncated", 102, 100, 1, 1001, "1|84"},  // 449.5 days
      };
  for (const auto& [what, e, e0, d, l, expected] : cases) {
    const LifespanText lifespan = ComputeLifespan(e, e0, d, l);
    EXPECT_EQ(lifespan.years + "|" + lifespan.days, expected) << what;
  }
}

TEST(DriveTemperature, ScansThirtyOneSlotsLastOneWins) {
  std::array<std::uint8_t, 512> sector{};
  int celsius = 0;
  EXPECT_FALSE(TemperatureFromSmartSector(sector, &celsius));
  sector[2 + 12 * 3] = 194, sector[2 + 12 * 3 + 5] = 38;
  EXPECT_TRUE(TemperatureFromSmartSector(sector, &celsius) && celsius == 38) << celsius;
  sector[2 + 12 * 30] = 194, sector[2 + 12 * 30 + 5] = 41;  // the 31st slot, past the thirty
  EXPECT_TRUE(TemperatureFromSmartSector(sector, &celsius) && celsius == 41) << celsius;
}

// Health for the maker's series with a limit only; the lifespan also needs a start record.
TEST(FiguresOf, HealthAndLifespanForTheMakersSeriesTemperatureForAll) {
  const HistoryStart start{2026, 3, 4, 100};
  using Days = std::optional<std::int64_t>;
  const std::tuple<int, int, const HistoryStart*, std::optional<int>, Days> cases[] = {
      // series, limit, start, health, lifespan (10 days * 2000 / 900)
      {0, 3000, &start, 66, 22},
      {0, 3000, nullptr, 66, Days()},
      {1, 3000, &start, {}, {}},
      {0, 0, &start, {}, {}}};
  for (const auto& [series, limit, from, health, lifespan] : cases) {
    SmartSnapshot s;
    s.modelSeries = series, s.peCycleLimit = limit, s.attr167Raw = 1000, s.attribute194Celsius = 41;
    const DriveFigures f = FiguresOf(s, from, 10);
    EXPECT_EQ(std::tuple(f.healthPercent, f.lifespanDays, f.temperatureCelsius),
              std::tuple(health, lifespan, std::optional<int>(41)));
  }
}

// Any other disk with a valid endurance indicator: health 100 - used, and a lifespan only
// from an endurance history that grew by 2 points over 30 days or more.
TEST(FiguresOf, EnduranceIndicatorGivesHealthAndLifespanToOtherDisks) {
  HistoryStart endurance{2026, 1, 1, -1, 3, true};
  const HistoryStart eraseCount{2026, 1, 1, 100};
  using Days = std::optional<std::int64_t>;
  const std::tuple<std::optional<std::int64_t>, const HistoryStart*, int, std::optional<int>, Days,
                   HealthSource>
      cases[] = {// used, start, days since start, health, lifespan days, source
                 {7, &endurance, 40, 93, 40 * 93 / 4, HealthSource::kEndurance},
                 {4, &endurance, 40, 96, Days(), HealthSource::kEndurance},   // 1 point only
                 {7, &endurance, 29, 93, Days(), HealthSource::kEndurance},   // too soon
                 {7, &eraseCount, 40, 93, Days(), HealthSource::kEndurance},  // other source
                 {107, &endurance, 40, 0, 0, HealthSource::kEndurance},
                 {{}, &endurance, 40, {}, Days(), HealthSource::kNone}};
  for (const auto& [used, from, days, health, lifespan, source] : cases) {
    SmartSnapshot s;
    s.modelSeries = 99;
    if (used) {
      s.deviceStatistics = DeviceStatistics{};
      s.deviceStatistics->values.push_back({DeviceStatisticId::kPercentageUsed, *used});
    }
    const DriveFigures f = FiguresOf(s, from, days);
    EXPECT_EQ(std::tuple(f.healthPercent, f.lifespanDays, f.healthSource),
              std::tuple(health, lifespan, source))
        << used.value_or(-1) << " " << days;
  }
  EXPECT_EQ(
      ComputeEnduranceLifespan(7, 3, 40).years + "/" + ComputeEnduranceLifespan(7, 3, 40).days,
      "2/200");
  EXPECT_EQ(ComputeEnduranceLifespan(5, 3, 3000).years, "---");  // beyond five years
}

}  // namespace
}  // namespace ds
