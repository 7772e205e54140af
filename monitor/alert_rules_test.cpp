#include "monitor/alert_rules.h"
#include "monitor/good_read.h"

#include <gtest/gtest.h>

// Rows leave the fields they do not need at their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace ds {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;
using S = AlertSettings&;

// The settings that differ from "all rules off", the disk's figures (start count 100, or 60 %
// used for a disk measured by its endurance indicator), what fires.
struct Case {
  const char* label;
  void (*set)(AlertSettings&);
  int celsius;
  std::uint64_t eraseCount;
  std::vector<std::string> fired;
  int limit = 3000, series = 0;
  std::int64_t days = 100;
  std::vector<VolumeSpace> volumes = {};
  int used = -1;  // percentage used: the disk's Device Statistics endurance indicator
  std::optional<bool> passed = {};  // the disk's own verdict; missing in every other row
};

// 61 above 60 fires: the monitor's alert mail test.
TEST(AlertRulesTest, EachRuleAndItsEdges) {
  const std::string hot = "DUT's temperature value is ";
  // clang-format off
  const Case cases[] = {
      {"above: equal is fine", [](S s) { s.Above = "60"; }, 60, 150, {}},
      {"Fahrenheit: 61 C is 141 F", [](S s) { s.Above = "140", s.TemperatureType = 1; }, 61, 150, {hot + "above 140 Fahrenheit (Current is 141)."}},
      {"any type but 0 is Fahrenheit", [](S s) { s.Under = "50", s.TemperatureType = 7; }, 5, 150, {hot + "under 50 Fahrenheit (Current is 41)."}},
      {"both fire, in order", [](S s) { s.Above = "30", s.Under = "50"; }, 40, 150,
       {hot + "above 30 Celsius (Current is 40).", hot + "under 50 Celsius (Current is 40)."}},
      {"text that is no number counts 0", [](S s) { s.Above = "hot"; }, 1, 150, {hot + "above 0 Celsius (Current is 1)."}},
      {"a negative limit compares as negative", [](S s) { s.Under = "-5"; }, -3, 150, {}},
      {"free space per volume, 5.9 GB is 5, 6 is enough", [](S s) { s.Capacity = "6"; }, 40, 150,
       {"DUT's (Drive /home) free space is under 6GB (Current is 5GB).",
        "DUT's (Drive /srv, old) free space is under 6GB (Current is 1GB)."}, 3000, 0, 100,
       {{"/home", 5 * kGiB + 9 * kGiB / 10, 100 * kGiB}, {"/", 6 * kGiB, 100 * kGiB}, {"/lost", 0, 0},
        {"/srv, old", 1 * kGiB, 10 * kGiB}}},
      {"health 95 under 96", [](S s) { s.HealthStatus = "96"; }, 40, 150, {"DUT's health status is under 96 (Current is 95)."}},
      {"a worn-out disk reads 0", [](S s) { s.HealthStatus = "5"; }, 40, 3500, {"DUT's health status is under 5 (Current is 0)."}},
      {"lifespan: 5700 days under 20 years", [](S s) { s.LifespanYears = "20"; }, 40, 150,
       {"DUT's lifespan is under 20 years 0 days (Current is 15 years 225 days)."}},
      {"lifespan of a worn-out disk", [](S s) { s.LifespanDays = "30"; }, 40, 3200,
       {"DUT's lifespan is under 0 years 30 days (Current is 0 years 0 days)."}},
      {"lifespan: start day", [](S s) { s.LifespanYears = "20"; }, 40, 150, {}, 3000, 0, 0},
      {"lifespan: no growth", [](S s) { s.LifespanYears = "20"; }, 40, 100, {}},
      {"rules 4 and 5 are for series 0", [](S s) { s.HealthStatus = "100", s.LifespanYears = "99", s.Above = "10"; }, 40, 150,
       {hot + "above 10 Celsius (Current is 40)."}, 3000, 99},
      {"series 1 as well", [](S s) { s.HealthStatus = "100"; }, 40, 150, {}, 3000, 1},
      {"no limit: no health rule", [](S s) { s.HealthStatus = "100"; }, 40, 150, {}, 0},
      {"another maker's disk: 95 % used", [](S s) { s.HealthStatus = "10"; }, 40, 0, {"DUT's health status is under 10 (Current is 5)."}, 3000, 99, 100, {}, 95},
      {"35 points in 100 days", [](S s) { s.LifespanYears = "1"; }, 40, 0, {"DUT's lifespan is under 1 years 0 days (Current is 0 years 14 days)."}, 3000, 99, 100, {}, 95},
      {"own verdict failed: first", [](S s) { s.Above = "30"; }, 40, 150, {"DUT's own health check reports a threshold exceeded.", hot + "above 30 Celsius (Current is 40)."}, 3000, 0, 100, {}, -1, false},
      {"own verdict passed", [](S) {}, 40, 150, {}, 3000, 0, 100, {}, -1, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    AlertSettings settings;
    c.set(settings);
    SmartSnapshot smart;
    smart.temperature = c.celsius, smart.attr167Raw = c.eraseCount, smart.peCycleLimit = c.limit;
    smart.modelSeries = c.series, smart.smartStatusPassed = c.passed;
    HistoryStart start{2016, 3, 7, 100};
    if (c.used >= 0) {
      smart.deviceStatistics = DeviceStatistics{{{DeviceStatisticId::kPercentageUsed, c.used}}, {}};
      start = {2016, 3, 7, -1, 60, true};
    }
    std::vector<VolumeFacts> volumes;
    for (const VolumeSpace& v : c.volumes)
      volumes.push_back({0, v.mountPoint, true, "", "", false, v.freeBytes, v.totalBytes});
    SeenDisk seen;
    TakeGoodRead(smart, 0, start, c.days, volumes, &settings, &seen);
    EXPECT_EQ(seen.fired, c.fired) << c.label;
  }
}

}  // namespace
}  // namespace ds
