#include "store/alert_limits.h"

#include <algorithm>
#include <cctype>

#include "text/leading_integer.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

// The whole number `text` holds (an optional sign and one to seven digits, blanks around
// allowed), or nothing.
std::optional<int> WholeNumber(std::string_view text) {
  text = TrimBoth(text);
  std::size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (text.size() == digits || text.size() - digits > 7)
    return std::nullopt;
  for (std::size_t at = digits; at < text.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(text[at])))
      return std::nullopt;
  }
  return LeadingInteger(text);
}

std::optional<AlertFieldLimit> RefreshByLimit(int refreshByType) {
  switch (refreshByType) {
    case 0:
      return AlertFieldLimit{"Refresh By", 1, 3650};
    case 1:
      return AlertFieldLimit{"Refresh By", 1, 120};
    case 2:
      return AlertFieldLimit{"Refresh By", 1, 10};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::vector<AlertNumberField> AlertNumberFields(const AlertSettings& settings) {
  const bool celsius = settings.TemperatureType == 0;
  const int coldest = celsius ? -55 : -67;
  const int hottest = celsius ? 125 : 257;
  return {
      {&AlertSettings::Above, AlertFieldLimit{"Above", coldest, hottest}},
      {&AlertSettings::Under, AlertFieldLimit{"Under", coldest, hottest}},
      {&AlertSettings::Capacity, AlertFieldLimit{"Capacity", 0, 1000000}},
      {&AlertSettings::HealthStatus, AlertFieldLimit{"Health Status", 0, 100}},
      {&AlertSettings::LifespanYears, AlertFieldLimit{"Lifespan Years", 0, 100}},
      {&AlertSettings::LifespanDays, AlertFieldLimit{"Lifespan Days", 0, 365}},
      {&AlertSettings::RefreshBy, RefreshByLimit(settings.RefreshByType)},
  };
}

std::optional<std::string> RefusedAlertInput(const AlertSettings& settings) {
  if (settings.RefreshByType < 0 || settings.RefreshByType > 2)
    return "Please choose Day, Month or Year for the \"Refresh By\" field!";
  for (const AlertNumberField& number : AlertNumberFields(settings)) {
    const std::string& text = settings.*number.field;
    if (TrimBoth(text).empty())
      continue;
    const std::optional<int> value = WholeNumber(text);
    const AlertFieldLimit& limit = *number.limit;
    if (!value || *value < limit.low || *value > limit.high) {
      return "Please input a whole number from " + std::to_string(limit.low) + " to " +
             std::to_string(limit.high) + " in the \"" + limit.label + "\" field!";
    }
  }
  if (TrimBoth(settings.RefreshBy).empty() && settings.EnableAlert != 0)
    return "Please input \"Refresh By\" field!";
  return std::nullopt;
}

std::vector<std::string> ClampAlertSettings(AlertSettings* settings) {
  std::vector<std::string> changed;
  for (const AlertNumberField& number : AlertNumberFields(*settings)) {
    std::string& text = settings->*number.field;
    if (text.empty() || !number.limit)
      continue;
    const std::int64_t value = LeadingInteger64(text);
    const std::int64_t clamped =
        std::clamp<std::int64_t>(value, number.limit->low, number.limit->high);
    if (clamped == value)
      continue;
    changed.push_back("the stored \"" + std::string(number.limit->label) + "\" value " + text +
                      " lies outside " + std::to_string(number.limit->low) + " to " +
                      std::to_string(number.limit->high) + "; " + std::to_string(clamped) +
                      " is used");
    text = std::to_string(clamped);
  }
  return changed;
}

}  // namespace ds
