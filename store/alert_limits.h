#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/settings.h"

// The values the Tool page's number fields accept. Save takes a field only when it is
// empty (its rule is off) or a whole number within its range; a stored file is read by the
// leading-integer rule as ever, and a stored value outside its range is clamped at load.
namespace ds {

// The range of one number field of the alert settings.
struct AlertFieldLimit {
  const char* label;  // as the Tool page names it
  int low;
  int high;
};

// The limits of the number fields of the field table (store/alert_fields.cpp), in the order
// they are stored, for these settings: a range may depend on another field (the temperature
// unit, the refresh period's unit); a field without a range here has no limit (nullopt).
struct AlertNumberField {
  std::string AlertSettings::*field;
  std::optional<AlertFieldLimit> limit;
};
std::vector<AlertNumberField> AlertNumberFields(const AlertSettings& settings);

// Checks the settings a Save would store. Nothing (accepted), or the message that names
// the first field refused: a number field that is not empty and not a whole number in its
// range, an empty "Refresh By" while alerts are on, or an unknown period unit.
[[nodiscard]] std::optional<std::string> RefusedAlertInput(const AlertSettings& settings);

// Clamps every stored number field outside its range to the nearest end; one line per
// field changed, for the log.
std::vector<std::string> ClampAlertSettings(AlertSettings* settings);

}  // namespace ds
