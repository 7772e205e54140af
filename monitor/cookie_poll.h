#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "store/settings.h"

// Takes in the page inputs: the page scripts store each input (the drive chosen in a list,
// the Health page's switches, the Tool page's form) as a cookie of the data folder, and a poll
// copies the cookie text into the display and alert settings. The caller saves both settings
// files afterwards and reloads the history start record, whether or not there were cookies.
namespace ds {

enum class CookiePollVariant {
  // Copy file "setting.tmp". Every Tool page text is taken: an absent or empty cookie
  // empties its field. Used by the Save button's worker only.
  kFull,
  // Copy file "setting2.tmp". Only non-empty cookies change a field. Used by the tab
  // actions, the close action, the monitor and the mail test.
  kKeeping,
};

// The longest cookie text taken; a longer one counts as a failed read (no cookies). The
// intake keeps at most 64 inputs of a browser cookie's 4096 bytes each, so no text it hands
// on is longer.
inline constexpr std::size_t kMaxCookieTextBytes = 64 * (4096 + 2);

// The copy file of a variant, in home + "data/".
const char* CookieCopyFileName(CookiePollVariant variant);

// Decodes %XX escapes (either case of hex digit); an escape that is not two hex digits stays
// as typed. Decoded CR, LF and NUL are dropped: they would split a line of the settings files.
std::string PercentDecode(std::string_view text);

struct CookiePollResult {
  bool cookiesTaken = false;  // the text held cookies and they were read
  bool displayChanged = false;
  bool alertChanged = false;
  // The page's "tool_page_refused" input: the id of a form field the page could not store
  // (too long for a cookie); then it stored none of the form.
  std::string refusedField;
};

// One poll over `cookieText` (the items "name=value" separated by ";" that the cookie store
// returns for the data folder). Writes the copy file below `home` (owner-only: it holds the
// mail password), then takes the known names in order into `display` and `alert`:
// Disk_Sel (any case), active_rec, health_display_type, then "tool_page_" + the page input of
// each alert field that has one (store/alert_fields.h). Values are percent-decoded and taken
// whole (blanks at their ends included); a whole-number
// field takes the leading integer of a non-empty value; of a repeated name the first value
// counts (the cookie of the most specific path). A Disk_Sel outside 0 .. driveCount - 1
// selects disk 0.
CookiePollResult CookiePoll(CookiePollVariant variant, std::string_view cookieText,
                            const std::string& home, int driveCount, DisplaySettings* display,
                            AlertSettings* alert);

}  // namespace ds
