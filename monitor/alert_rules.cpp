#include "monitor/alert_rules.h"

#include <cstdio>
#include <optional>

#include "text/leading_integer.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr std::uint64_t kGigabyte = 1024ull * 1024ull * 1024ull;

std::optional<int> Threshold(const std::string& text) {
  if (text.empty())
    return std::nullopt;
  return LeadingInteger(text);
}

}  // namespace

std::vector<std::string> FiredAlerts(const AlertInputs& in) {
  std::vector<std::string> fired;
  const AlertSettings& s = in.settings;
  const bool fahrenheit = s.TemperatureType != 0;
  const char* unit = fahrenheit ? "Fahrenheit" : "Celsius";
  const int current = fahrenheit ? in.temperatureCelsius * 9 / 5 + 32 : in.temperatureCelsius;

  if (in.smartStatusPassed == false)
    fired.push_back("DUT's own health check reports a threshold exceeded.");

  if (std::optional<int> above = Threshold(s.Above); above && current > *above) {
    fired.push_back(
        Format("DUT's temperature value is above %d %s (Current is %d).", *above, unit, current));
  }
  if (std::optional<int> under = Threshold(s.Under); under && current < *under) {
    fired.push_back(
        Format("DUT's temperature value is under %d %s (Current is %d).", *under, unit, current));
  }
  if (std::optional<int> capacity = Threshold(s.Capacity)) {
    for (const VolumeSpace& volume : in.volumes) {
      if (volume.totalBytes == 0)
        continue;
      const auto freeGigabytes = static_cast<long long>(volume.freeBytes / kGigabyte);
      if (freeGigabytes < *capacity) {
        fired.push_back(Format("DUT's (Drive %s) free space is under %dGB (Current is %lldGB).",
                               volume.mountPoint.c_str(), *capacity, freeGigabytes));
      }
    }
  }
  if (std::optional<int> minimum = Threshold(s.HealthStatus);
      minimum && in.healthPercent && *in.healthPercent < *minimum) {
    fired.push_back(
        Format("DUT's health status is under %d (Current is %d).", *minimum, *in.healthPercent));
  }
  if (!s.LifespanYears.empty() || !s.LifespanDays.empty()) {
    const int years = LeadingInteger(s.LifespanYears);
    const int days = LeadingInteger(s.LifespanDays);
    const std::optional<std::int64_t> remaining = in.lifespanDays;
    if (remaining && *remaining < static_cast<std::int64_t>(years) * 365 + days) {
      fired.push_back(
          Format("DUT's lifespan is under %d years %d days (Current is %lld years %lld days).",
                 years, days, static_cast<long long>(*remaining / 365),
                 static_cast<long long>(*remaining % 365)));
    }
  }
  return fired;
}

}  // namespace ds
