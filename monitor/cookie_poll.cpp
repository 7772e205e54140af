#include "monitor/cookie_poll.h"

#include <cctype>
#include <map>

#include "platform/file_system.h"
#include "store/alert_fields.h"
#include "text/leading_integer.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

// One cookie item as a line of the copy file: the name as it stands, the value decoded.
std::string CopyLine(std::string_view item) {
  const std::size_t equals = item.find('=');
  if (equals == std::string_view::npos)
    return std::string(item);
  return std::string(item.substr(0, equals + 1)) + PercentDecode(item.substr(equals + 1));
}

// The decoded value of every cookie item by name (without regard to case), the first one
// of a repeated name (the cookie of the most specific path). Values are taken whole: a
// blank at either end of a decoded value (a password's, say) is part of it.
class CookieValues {
 public:
  explicit CookieValues(std::string_view copyText) {
    for (std::string_view rest = copyText; !rest.empty();) {
      const std::size_t end = rest.find('\n');
      const std::string_view line = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      const std::size_t equals = line.find('=');
      if (equals != std::string_view::npos)
        values_.emplace(FoldCase(TrimBoth(line.substr(0, equals))), line.substr(equals + 1));
    }
  }
  std::string operator()(std::string_view name) const {
    const auto it = values_.find(FoldCase(name));
    return it == values_.end() ? std::string() : it->second;
  }

 private:
  static std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
  }
  std::map<std::string, std::string> values_;
};

}  // namespace

const char* CookieCopyFileName(CookiePollVariant variant) {
  return variant == CookiePollVariant::kFull ? "setting.tmp" : "setting2.tmp";
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      c = static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    }
    if (c != '\r' && c != '\n' && c != '\0')
      out += c;
  }
  return out;
}

CookiePollResult CookiePoll(CookiePollVariant variant, std::string_view cookieText,
                            const std::string& home, int driveCount, DisplaySettings* display,
                            AlertSettings* alert) {
  CookiePollResult result;
  if (cookieText.empty() || cookieText.size() > kMaxCookieTextBytes)
    return result;
  std::string copy;
  for (std::size_t start = 0; start <= cookieText.size();) {
    std::size_t end = cookieText.find(';', start);
    if (end == std::string_view::npos)
      end = cookieText.size();
    const std::string_view item = TrimBoth(cookieText.substr(start, end - start));
    if (!item.empty())
      copy += CopyLine(item) + "\n";
    start = end + 1;
  }
  // The copy file is a record of the last poll; the values are taken from the same text
  // in memory, so a failed write or another poll replacing the file cannot change them.
  std::string ignored;
  ReplaceFileAtomically(home + "data/" + CookieCopyFileName(variant), copy, FileAccess::kOwnerOnly,
                        &ignored, FileDurability::kUnflushed);
  const CookieValues values(copy);
  result.cookiesTaken = true;
  result.refusedField = values("tool_page_refused");

  const DisplaySettings displayBefore = *display;
  const AlertSettings alertBefore = *alert;
  AssignIfNotEmpty(values("Disk_Sel"), &display->selectedDisk);
  if (display->selectedDisk < 0 || display->selectedDisk >= driveCount)
    display->selectedDisk = 0;
  AssignIfNotEmpty(values("active_rec"), &display->active_rec);
  AssignIfNotEmpty(values("health_display_type"), &display->health_display_type);

  for (const AlertField& field : AlertFields()) {
    if (field.pageInput == nullptr)
      continue;  // changed by a click, not typed
    std::string value = values(std::string("tool_page_") + field.pageInput);
    if (field.whole != nullptr)
      AssignIfNotEmpty(value, &(alert->*field.whole));
    else if (variant == CookiePollVariant::kFull || !value.empty())
      alert->*field.text = std::move(value);
  }

  result.displayChanged = displayBefore != *display;
  result.alertChanged = alertBefore != *alert;
  return result;
}

}  // namespace ds
