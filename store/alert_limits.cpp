#include "store/alert_limits.h"

#include <algorithm>
#include <cctype>

#include "store/alert_fields.h"
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

}  // namespace

std::vector<AlertNumberField> AlertNumberFields(const AlertSettings& settings) {
  std::vector<AlertNumberField> numbers;
  for (const AlertField& field : AlertFields()) {
    if (field.kind != AlertFieldKind::kNumber)
      continue;
    std::optional<AlertFieldLimit> limit;
    if (const std::optional<AlertRange> range = field.range(settings))
      limit = AlertFieldLimit{field.label, range->low, range->high};
    numbers.push_back({field.text, limit});
  }
  return numbers;
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
