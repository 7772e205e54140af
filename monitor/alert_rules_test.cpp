#include "monitor/alert_rules.h"

#include <gtest/gtest.h>

// Rows leave the fields they do not need at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ds {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

// One case: the settings that differ from "all rules off", the figures (a start count of
// 100), the messages.
struct Case {
  const char* label;
  void (*set)(AlertSettings&);
  int celsius = 40;
  std::uint64_t eraseCount = 150;
  int limit = 3000;
  int series = 0;
  std::vector<VolumeSpace> volumes = {};
  std::int64_t days = 100;
  std::vector<std::string> fired = {};
};

TEST(AlertRulesTest, EachRuleAndItsEdges) {
  const Case cases[] = {
      {.label = "above: strictly greater",
       .set = [](AlertSettings& s) { s.Above = "60"; },
       .celsius = 61,
       .fired = {"DUT's temperature value is above 60 Celsius (Current is 61)."}},
      {.label = "above: equal is fine",
       .set = [](AlertSettings& s) { s.Above = "60"; },
       .celsius = 60},
      {.label = "Fahrenheit: 61 C is 141 F",
       .set = [](AlertSettings& s) { s.Above = "140", s.TemperatureType = 1; },
       .celsius = 61,
       .fired = {"DUT's temperature value is above 140 Fahrenheit (Current is 141)."}},
      {.label = "any type but 0 is Fahrenheit",
       .set = [](AlertSettings& s) { s.Under = "50", s.TemperatureType = 7; },
       .celsius = 5,
       .fired = {"DUT's temperature value is under 50 Fahrenheit (Current is 41)."}},
      {.label = "both fire, in order",
       .set = [](AlertSettings& s) { s.Above = "30", s.Under = "50"; },
       .fired = {"DUT's temperature value is above 30 Celsius (Current is 40).",
                 "DUT's temperature value is under 50 Celsius (Current is 40)."}},
      {.label = "text that is no number counts 0",
       .set = [](AlertSettings& s) { s.Above = "hot"; },
       .celsius = 1,
       .fired = {"DUT's temperature value is above 0 Celsius (Current is 1)."}},
      {.label = "a negative limit compares as negative",
       .set = [](AlertSettings& s) { s.Under = "-5"; },
       .celsius = -3},
      {.label = "free space per volume, 5.9 GB is 5, 6 is enough",
       .set = [](AlertSettings& s) { s.Capacity = "6"; },
       .volumes = {{"/home", 5 * kGiB + 9 * kGiB / 10, 100 * kGiB},
                   {"/", 6 * kGiB, 100 * kGiB},
                   {"/lost", 0, 0},
                   {"/srv, old", 1 * kGiB, 10 * kGiB}},
       .fired = {"DUT's (Drive /home) free space is under 6GB (Current is 5GB).",
                 "DUT's (Drive /srv, old) free space is under 6GB (Current is 1GB)."}},
      {.label = "health 95 under 96",
       .set = [](AlertSettings& s) { s.HealthStatus = "96"; },
       .fired = {"DUT's health status is under 96 (Current is 95)."}},
      {.label = "a worn-out disk reads 0",
       .set = [](AlertSettings& s) { s.HealthStatus = "5"; },
       .eraseCount = 3500,
       .fired = {"DUT's health status is under 5 (Current is 0)."}},
      {.label = "lifespan: 5700 days under 20 years",
       .set = [](AlertSettings& s) { s.LifespanYears = "20"; },
       .fired = {"DUT's lifespan is under 20 years 0 days (Current is 15 years 225 days)."}},
      {.label = "lifespan of a worn-out disk",
       .set = [](AlertSettings& s) { s.LifespanDays = "30"; },
       .eraseCount = 3200,
       .fired = {"DUT's lifespan is under 0 years 30 days (Current is 0 years 0 days)."}},
      {.label = "lifespan: start day",
       .set = [](AlertSettings& s) { s.LifespanYears = "20"; },
       .days = 0},
      {.label = "lifespan: no growth",
       .set = [](AlertSettings& s) { s.LifespanYears = "20"; },
       .eraseCount = 100},
      {.label = "rules 4 and 5 are for series 0",
       .set =
           [](AlertSettings& s) { s.HealthStatus = "100", s.LifespanYears = "99", s.Above = "10"; },
       .series = 99,
       .fired = {"DUT's temperature value is above 10 Celsius (Current is 40)."}},
      {.label = "series 1 as well",
       .set = [](AlertSettings& s) { s.HealthStatus = "100"; },
       .series = 1},
      {.label = "no limit: no health rule",
       .set = [](AlertSettings& s) { s.HealthStatus = "100"; },
       .limit = 0},
  };
  for (const Case& c : cases) {
    AlertInputs in;
    c.set(in.settings);
    in.temperatureCelsius = c.celsius;
    in.eraseCount = c.eraseCount;
    in.peCycleLimit = c.limit;
    in.modelSeries = c.series;
    in.volumes = c.volumes;
    in.startEraseCount = 100;
    in.daysSinceStart = c.days;
    EXPECT_EQ(FiredAlerts(in), c.fired) << c.label;
  }
}

}  // namespace
}  // namespace ds
