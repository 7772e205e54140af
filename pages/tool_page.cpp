#include "pages/tool_page.h"

#include <algorithm>
#include <cstdio>

#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "platform/file_system.h"
#include "store/alert_fields.h"
#include "text/html_escape.h"

namespace ds {
namespace {

// A stored text as the value of a double-quoted attribute. The placeholders of a page all
// begin with "STR_"; its underscore goes in as a character reference, so a text such as
// "STR_OPTION_REFRESH_BY" cannot be replaced by a later field's markup.
std::string AttributeText(const std::string& text) {
  std::string escaped = HtmlEscape(text);
  std::string out;
  out.reserve(escaped.size());
  for (std::size_t at = 0; at < escaped.size(); ++at) {
    if (escaped.compare(at, 4, "STR_") == 0) {
      out += "STR&#95;";
      at += 3;
    } else {
      out += escaped[at];
    }
  }
  return out;
}

std::string TemperatureSwitch(const ToolPageInput& input) {
  if (input.toolEditMode == 0)
    return "<img src=\"./images/temp_c_off.png\">&nbsp;<img src=\"./images/temp_f_off.png\">";
  if (input.settings.TemperatureType == 0) {
    return "<input type=\"image\" src=\"./images/temp_c_on.png\">&nbsp;"
           "<input type=\"image\" src=\"./images/temp_f_off.png\">";
  }
  return "<input type=\"image\" src=\"./images/temp_c_off.png\">&nbsp;"
         "<input type=\"image\" src=\"./images/temp_f_on.png\">";
}

std::string RefreshByOptions(int refreshByType) {
  switch (refreshByType) {
    case 0:
      return "<option value=\"0\">Day</option><option value=\"1\">Month</option>"
             "<option value=\"2\">Year</option>";
    case 1:
      return "<option value=\"0\">Day</option><option value=\"1\" selected>Month</option>"
             "<option value=\"2\">Year</option>";
    case 2:
      return "<option value=\"0\">Day</option><option value=\"1\">Month</option>"
             "<option value=\"2\" selected>Year</option>";
    default:
      return {};
  }
}

}  // namespace

PageFields ToolPageFields(const ToolPageInput& input) {
  const bool editing = input.toolEditMode != 0;
  const AlertSettings& s = input.settings;
  // The bar's two parts always make 100, even for a progress outside 0-100.
  const int progress = std::clamp(input.eraseProgress, 0, 100);

  PageFields fields;
  fields.Add("STR_SECURITY_ERASE_PERCENTAGE", Format("%d", progress));
  fields.Add("STR_UNSECURITY_ERASE_PERCENTAGE", Format("%d", 100 - progress));
  fields.Add("STR_START_BUTTON_SECURITY_ERASE",
             input.eraseRunning != 0 ? "<img src=\"./images/button_start_invalid.png\">"
                                     : "<input type=\"image\" src=\"./images/button_start.png\">");
  fields.Add("STR_EDIT_BTN", editing ? "<img src=\"./images/button_edit_invalid.png\">"
                                     : "<input type=\"image\" src=\"./images/button_edit.png\">");
  fields.Add("STR_SAVE_BTN", editing ? "<a href=\"javascript:void(0);\"><img "
                                       "src=\"./images/button_save.png\" border=\"0\" "
                                       "onclick=\"SaveData();\"></a>"
                                     : "<img src=\"./images/button_save_invalid.png\">");
  fields.Add("STR_EDIT_STATUS", editing ? "" : "DISABLED");
  for (const AlertField& field : AlertFields()) {
    if (field.kind == AlertFieldKind::kSwitch)
      fields.Add(field.placeholder, s.*field.whole != 0 ? "CHECKED" : "");
  }
  // The two choices have their own markup.
  fields.Add("STR_TEMPERATURE_TYPE", TemperatureSwitch(input));
  fields.Add("STR_EMAIL_TEST", editing ? "<a href=\"javascript:void(0);\"><img "
                                         "src=\"./images/button_test.png\" "
                                         "onclick=\"EmailTest();\"></a>"
                                       : "<img src=\"./images/button_test_invalid.png\">");
  for (const AlertField& field : AlertFields()) {
    if (field.text != nullptr)
      fields.Add(field.placeholder, AttributeText(s.*field.text));
  }
  fields.Add("STR_OPTION_REFRESH_BY", RefreshByOptions(s.RefreshByType));
  return fields;
}

std::optional<std::string> BuildToolPage(const ProgramRoots& roots, const ToolPageInput& input,
                                         std::string* message) {
  message->clear();
  const std::string output = roots.HomeData(kToolPageFile);
  const std::string templatePath = PageTemplatePath(roots, kPageTool);
  // The page is rebuilt while it is shown (erase progress, switches): the new one replaces
  // the old in one step, so a reload never finds it missing. A failed build leaves none.
  if (input.driveCount <= 0 || !FileExists(templatePath) ||
      !ExpandTemplate(templatePath, output, ToolPageFields(input), message,
                      FileAccess::kOwnerOnly)) {
    std::remove(output.c_str());
    return std::nullopt;
  }
  return std::string(kToolPageFile);
}

}  // namespace ds
