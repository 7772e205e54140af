#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/settings.h"

// The field table of the alert settings: the one list of their fields. Load and save of
// the settings file, the cookie intake, the Tool page fill, the Save button's checks and the
// clamping at load all walk it. A new alert field is a member of AlertSettings, one row here
// and its rule; a field without a row, or a row that mixes up its columns, does not compile.
namespace ds {

enum class AlertFieldKind {
  kSwitch,  // whole number 0/1, a check box of the page ("CHECKED")
  kChoice,  // whole number, one of a few; the page writes its own markup for it
  kText,    // text as typed
  kNumber,  // a whole number as typed; empty switches its rule off; range-checked
};

// The values a number field accepts.
struct AlertRange {
  int low;
  int high;
};

// One alert field. Its default is the member's initializer in AlertSettings.
struct AlertField {
  const char* key;  // stored key; the file holds the fields in table order
  AlertFieldKind kind;
  int AlertSettings::*whole;         // kSwitch and kChoice, else nullptr
  std::string AlertSettings::*text;  // kText and kNumber, else nullptr
  // The page input's id ("above"); its cookie is "tool_page_" + id. nullptr (whole numbers
  // only): the field has no input and changes by a click.
  const char* pageInput;
  const char* placeholder;  // of the Tool page template; nullptr for a choice
  const char* label;        // as the Tool page names the field in a message
  // kNumber: its range, which may depend on other fields (nothing: no limit); else nullptr.
  std::optional<AlertRange> (*range)(const AlertSettings&);
  // Whole numbers only: the click that changes it stores it; Save keeps the stored value.
  bool storedAtClick;
  // Texts only: a value a "key=" line would not give back (blanks at an end, control
  // characters) is stored again under this key, %XX-escaped, after all fields.
  const char* escapedKey;
};

// The rows in the order the settings file stores them.
std::span<const AlertField> AlertFields();

// The text or number row whose page input is `pageInput`, or nullptr.
const AlertField* AlertTextFieldByInput(std::string_view pageInput);

}  // namespace ds
