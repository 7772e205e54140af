#include "pages/home_page.h"

#include <cstdio>

#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "text/html_escape.h"
#include "text/local_time_text.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr const char* kNoValue = "---";

std::string Cell(const std::string& text) {
  return "<td>" + (TrimBoth(text).empty() ? std::string(kNoValue) : HtmlEscape(TrimBoth(text))) +
         "</td>";
}

template <typename Number>
std::string NumberCell(const std::optional<Number>& value, const char* unit) {
  if (!value)
    return std::string("<td>") + kNoValue + "</td>";
  return "<td>" + std::to_string(*value) + unit + "</td>";
}

std::string Row(const HomeRow& row, bool fahrenheit) {
  std::string html = row.listIndex >= 0
                         ? Format("<tr class=\"disk\" onclick=\"OpenDisk(%d)\">", row.listIndex)
                         : std::string("<tr class=\"disk off\">");
  html +=
      "<td><div class=\"model\">" +
      (TrimBoth(row.model).empty() ? std::string(kNoValue) : HtmlEscape(TrimBoth(row.model))) +
      "</div><div class=\"muted\">" +
      (TrimBoth(row.serial).empty() ? std::string(kNoValue) : HtmlEscape(TrimBoth(row.serial))) +
      "</div></td>";
  html += Cell(row.device);
  std::optional<int> temperature = row.temperatureCelsius;
  if (temperature && fahrenheit)
    *temperature = (*temperature * 9 + (*temperature >= 0 ? 2 : -2)) / 5 + 32;  // rounded
  html += NumberCell(temperature, fahrenheit ? " &deg;F" : " &deg;C");
  html += NumberCell(row.healthPercent, " %");
  html += NumberCell(row.lifespanDays, " days");
  html += Cell(row.lastGoodRead != 0 ? LocalTimeText(row.lastGoodRead) : "");
  html += Cell(row.alertState) + "</tr>\n";
  return html;
}

}  // namespace

PageFields HomePageFields(const HomePageInput& input) {
  PageFields fields;
  fields.Add("STR_DISK_INFO_BUTTON", std::to_string(kTabDiskInfo));
  fields.Add("STR_DISK_COUNT", input.rows.size() == 1
                                   ? std::string("1 disk")
                                   : std::to_string(input.rows.size()) + " disks");
  std::string rows;
  for (const HomeRow& row : input.rows)
    rows += Row(row, input.fahrenheit);
  if (rows.empty())
    rows = "<tr class=\"disk off\"><td colspan=\"7\">No ATA or SATA disk was found.</td></tr>\n";
  fields.Add("STR_HOME_ROWS", rows);
  return fields;
}

std::optional<std::string> BuildHomePage(const ProgramRoots& roots, const HomePageInput& input,
                                         std::string* message) {
  const std::string output = roots.HomeData(kHomePageFile);
  std::remove(output.c_str());
  if (!ExpandTemplate(PageTemplatePath(roots, kPageHome), output, HomePageFields(input), message,
                      FileAccess::kShared))
    return std::nullopt;
  return kHomePageFile;
}

}  // namespace ds
