#include "monitor/alert_rules.h"

#include <gtest/gtest.h>

// Rows leave the fields they do not need at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ds {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// One case: the settings that differ from "all rules off", the figures, the messages.
struct Case {
  const char* label;
  AlertSettings settings;
  int celsius = 40;
  std::uint64_t eraseCount = 150;
  int limit = 3000;
  int series = 0;
  std::vector<VolumeSpace> volumes;
  std::int32_t startCount = 100;
  std::int64_t days = 100;
  std::vector<std::string> fired;
};

AlertSettings With(void (*set)(AlertSettings&)) {
  AlertSettings settings;
  set(settings);
  return settings;
}

TEST(AlertRulesTest, EachRuleAndItsEdges) {
  const Case cases[] = {
      {"above: strictly greater",
       With([](AlertSettings& s) { s.Above = "60"; }),
       61,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's temperature value is above 60 Celsius (Current is 61)."}},
      {"above: equal is fine", With([](AlertSettings& s) { s.Above = "60"; }), 60},
      {"Fahrenheit: 61 C is 141 F",
       With([](AlertSettings& s) {
         s.Above = "140";
         s.TemperatureType = 1;
       }),
       61,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's temperature value is above 140 Fahrenheit (Current is 141)."}},
      {"any type but 0 is Fahrenheit",
       With([](AlertSettings& s) {
         s.Under = "50";
         s.TemperatureType = 7;
       }),
       5,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's temperature value is under 50 Fahrenheit (Current is 41)."}},
      {"both fire, in order",
       With([](AlertSettings& s) {
         s.Above = "30";
         s.Under = "50";
       }),
       40,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's temperature value is above 30 Celsius (Current is 40).",
        "DUT's temperature value is under 50 Celsius (Current is 40)."}},
      {"text that is no number counts 0",
       With([](AlertSettings& s) { s.Above = "hot"; }),
       1,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's temperature value is above 0 Celsius (Current is 1)."}},
      {"a negative limit compares as negative", With([](AlertSettings& s) { s.Under = "-5"; }), -3},
      {"free space per volume, 5.9 GB is 5",
       With([](AlertSettings& s) { s.Capacity = "6"; }),
       40,
       150,
       3000,
       0,
       {{"/home", 5 * kGiB + 9 * kGiB / 10, 100 * kGiB},
        {"/", 7 * kGiB, 100 * kGiB},
        {"/lost", 0, 0},
        {"/srv, old", 1 * kGiB, 10 * kGiB}},
       100,
       100,
       {"DUT's (Drive /home) free space is under 6GB (Current is 5GB).",
        "DUT's (Drive /srv, old) free space is under 6GB (Current is 1GB)."}},
      {"health 95 under 96",
       With([](AlertSettings& s) { s.HealthStatus = "96"; }),
       40,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's health status is under 96 (Current is 95)."}},
      {"a worn-out disk reads 0",
       With([](AlertSettings& s) { s.HealthStatus = "5"; }),
       40,
       3500,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's health status is under 5 (Current is 0)."}},
      {"lifespan: 5700 days under 20 years",
       With([](AlertSettings& s) { s.LifespanYears = "20"; }),
       40,
       150,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's lifespan is under 20 years 0 days (Current is 15 years 225 days)."}},
      {"lifespan of a worn-out disk",
       With([](AlertSettings& s) { s.LifespanDays = "30"; }),
       40,
       3200,
       3000,
       0,
       {},
       100,
       100,
       {"DUT's lifespan is under 0 years 30 days (Current is 0 years 0 days)."}},
      {"lifespan: start day",
       With([](AlertSettings& s) { s.LifespanYears = "20"; }),
       40,
       150,
       3000,
       0,
       {},
       100,
       0},
      {"lifespan: no growth",
       With([](AlertSettings& s) { s.LifespanYears = "20"; }),
       40,
       100,
       3000,
       0,
       {},
       100,
       100},
      {"rules 4 and 5 are for series 0",
       With([](AlertSettings& s) {
         s.HealthStatus = "100";
         s.LifespanYears = "99";
         s.Above = "10";
       }),
       40,
       150,
       3000,
       99,
       {},
       100,
       100,
       {"DUT's temperature value is above 10 Celsius (Current is 40)."}},
      {"series 1 as well", With([](AlertSettings& s) { s.HealthStatus = "100"; }), 40, 150, 3000,
       1},
      {"no limit: no health rule", With([](AlertSettings& s) { s.HealthStatus = "100"; }), 40, 150,
       0},
  };
  for (const Case& c : cases) {
    AlertInputs in;
    in.settings = c.settings;
    in.temperatureCelsius = c.celsius;
    in.eraseCount = c.eraseCount;
    in.peCycleLimit = c.limit;
    in.modelSeries = c.series;
    in.volumes = c.volumes;
    in.startEraseCount = c.startCount;
    in.daysSinceStart = c.days;
    EXPECT_EQ(FiredAlerts(in), c.fired) << c.label;
  }
}

}  // namespace
}  // namespace ds
