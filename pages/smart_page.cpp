#include "pages/smart_page.h"

#include <cstdio>

#include "drive/drive_figures.h"
#include "drive/selftest.h"
#include "pages/page_format.h"
#include "pages/page_registry.h"
#include "pages/template_expander.h"
#include "platform/file_system.h"
#include "sheet/xls_workbook.h"
#include "text/html_escape.h"

namespace ds {
namespace {

constexpr const char* kFontDark =
    "<font style=\"font-size: 10px; font-family: Arial; color: #010000\">";
constexpr const char* kFontBlue =
    "<font style=\"font-size: 10px; font-family: Arial; color: #03508D\">";
constexpr const char* kHeader[] = {"ID",    "Attribute name", "Threshold", "Value",
                                   "Worst", "Status",         "Raw Data",  "Raw Hex"};

}  // namespace

std::string AttributeStatus(const SmartAttribute& attribute) {
  return attribute.threshold != 0 && attribute.current <= attribute.threshold ? "FAIL" : "OK";
}

std::vector<std::string> AttributeCells(const SmartAttribute& attribute) {
  return {Format("%02X", attribute.id),
          attribute.name,
          Format("%llu", static_cast<unsigned long long>(attribute.threshold)),
          Format("%llu", static_cast<unsigned long long>(attribute.current)),
          Format("%llu", static_cast<unsigned long long>(attribute.worst)),
          AttributeStatus(attribute),
          Format("%08llu", static_cast<unsigned long long>(attribute.raw)),
          Format("%08X", static_cast<unsigned>(attribute.raw & 0xFFFFFFFFu))};
}

std::string SmartAttributeRows(const std::vector<SmartAttribute>& attributes) {
  std::string rows;
  for (const SmartAttribute& attribute : attributes) {
    const std::vector<std::string> cells = AttributeCells(attribute);
    rows += "<tr>";
    for (std::size_t column = 0; column < cells.size(); ++column) {
      const bool blue = column == 1 || column == 5;
      rows += column < 2 ? "<td>" : "<td align=\"center\">";
      rows += blue ? kFontBlue : kFontDark;
      if (column == 5) {
        rows += "<b>" + cells[column] + "</b>";
      } else {
        rows += HtmlEscape(cells[column]);
      }
      rows += "</font></td>";
    }
    rows += "</tr>";
    rows +=
        "<tr><td colspan=\"8\" height=\"2\"></td></tr>"
        "<tr><td colspan=\"8\" height=\"1\" bgcolor=\"#DFDFDF\"></td></tr>"
        "<tr><td colspan=\"8\" height=\"2\"></td></tr>";
  }
  return rows;
}

std::string DeviceStatisticsRows(const std::optional<DeviceStatistics>& statistics) {
  if (!statistics || statistics->values.empty()) {
    return std::string("<tr><td>") + kFontDark +
           "This disk reports no device statistics.</font></td></tr>";
  }
  std::string rows;
  const std::vector<DeviceStatistic>& values = statistics->values;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i % 2 == 0)
      rows += "<tr>";
    std::string value = DeviceStatisticText(values[i]);
    if (values[i].conditionMet)
      value += " (condition met)";
    rows += std::string("<td>") + kFontBlue + HtmlEscape(DeviceStatisticName(values[i].id)) +
            "</font></td><td align=\"right\">" + kFontDark + HtmlEscape(value) + "</font></td>";
    if (i % 2 == 1 || i + 1 == values.size())
      rows += "</tr>";
  }
  return rows;
}

namespace {

// The error log entries the page lists, newest first.
constexpr std::size_t kShownErrors = 5;

std::string Cell(const std::string& text, const char* font = kFontDark) {
  return std::string("<td>") + font + HtmlEscape(text) + "</font></td>";
}

}  // namespace

std::string SelfTestLogRows(const std::optional<SelfTestLog>& log) {
  if (!log || log->entries.empty()) {
    return std::string("<tr><td>") + kFontDark +
           (log ? "This disk has run no self-tests." : "This disk reports no self-test log.") +
           "</font></td></tr>";
  }
  std::string rows = "<tr>";
  for (const char* title : {"Test", "Status", "Remaining", "Power-on hours", "First failing LBA"})
    rows += Cell(title, kFontBlue);
  rows += "</tr>";
  for (const SelfTestLogEntry& e : log->entries) {
    rows += "<tr>" + Cell(SelfTestTypeText(e.test)) + Cell(SelfTestStateText(e.state)) +
            Cell(Format("%d %%", e.remainingPercent)) + Cell(std::to_string(e.powerOnHours)) +
            Cell(e.failingLba ? std::to_string(*e.failingLba) : "-") + "</tr>";
  }
  return rows;
}

std::string ErrorLogRows(const std::optional<ErrorLog>& log) {
  if (!log)
    return std::string("<tr><td>") + kFontDark + "This disk reports no error log.</font></td></tr>";
  std::string rows =
      "<tr>" + Cell("Errors logged", kFontBlue) + Cell(std::to_string(log->errorCount)) + "</tr>";
  for (std::size_t i = 0; i < log->entries.size() && i < kShownErrors; ++i) {
    const ErrorLogEntry& e = log->entries[i];
    rows += "<tr>" + Cell(Format("Error %d at %d hours", e.number, e.powerOnHours), kFontBlue) +
            Cell(Format("command 0x%02X, error 0x%02X, status 0x%02X, LBA %llu", e.command, e.error,
                        e.status, static_cast<unsigned long long>(e.lba))) +
            "</tr>";
  }
  return rows;
}

std::string SelfTestControls(const SelfTestCapability& capability,
                             const SelfTestExecution& execution) {
  if (execution.running()) {
    return Format("<div class=\"selftest note\">Self-test running, %d %% left</div>",
                  execution.remainingPercent) +
           "<div class=\"selftest button\" id=\"selftest-abort\" style=\"left: 592px\">"
           "Abort</div>";
  }
  if (!capability.supported)
    return "<div class=\"selftest note\">This disk runs no self-tests.</div>";
  return Format(
      "<div class=\"selftest button\" id=\"selftest-short\" style=\"left: 300px\">"
      "Short test (%d min)</div>"
      "<div class=\"selftest button\" id=\"selftest-extended\" style=\"left: 436px\">"
      "Extended test (%d min)</div>",
      capability.shortMinutes, capability.extendedMinutes);
}

bool WriteSmartWorkbook(const std::vector<SmartAttribute>& attributes, const std::string& path,
                        std::string* message, const OutputOptions& options) {
  XlsWorkbook book;
  book.New(1);
  book.RenameSheet("Sheet1", "SMART");
  XlsSheet* sheet = book.GetSheet("SMART");
  for (int column = 0; column < 8; ++column)
    sheet->Cell(0, column)->SetText(kHeader[column]);
  int row = 1;
  for (const SmartAttribute& attribute : attributes) {
    const std::vector<std::string> cells = AttributeCells(attribute);
    for (int column = 0; column < 8; ++column)
      sheet->Cell(row, column)->SetText(cells[column]);
    ++row;
  }
  bool saved = book.SaveAs(path, message, options);
  book.Close();
  return saved;
}

std::optional<std::string> BuildSmartPage(const ProgramRoots& roots, const SmartPageInput& input,
                                          std::string* message) {
  const std::string data = roots.home + "data/";
  const std::string pagePath = data + kSmartPageFile;
  const std::string infoPath = data + "SMARTInfo.html";
  const std::string identifyPath = data + "SMART_ID_Info.html";
  for (const std::string& old : {pagePath, infoPath, identifyPath})
    std::remove(old.c_str());

  if (input.driveCount <= 0) {
    SetMessage(message, "no ATA or SATA disk to show");
    return std::nullopt;
  }
  const std::string attributeRows = SmartAttributeRows(input.attributes);
  const std::vector<IdentifyLine> lines = IdentifyTableLines(input.identify);
  const std::string identifyRows = IdentifyTableRows(lines);
  PageFields pageFields;
  pageFields.Add("STR_SMART_VERDICT", SmartVerdictText(input.smartStatusPassed));
  pageFields.Add("STR_DEVICE_STATS", DeviceStatisticsRows(input.deviceStatistics));
  pageFields.Add("STR_SELFTEST_LOG", SelfTestLogRows(input.selfTestLog));
  pageFields.Add("STR_ERROR_LOG", ErrorLogRows(input.errorLog));
  // The page shows both tables itself: frames would be fetched and parsed only after it.
  pageFields.Add("STR_SMART", attributeRows);
  pageFields.Add("STR_ID_TABLE", identifyRows);
  pageFields.Add("STR_SELFTEST_CONTROLS",
                 SelfTestControls(input.selfTestCapability, input.selfTestExecution));
  if (!ExpandTemplate(PageTemplatePath(roots, kPageSmart, 0), pagePath, pageFields, message))
    return std::nullopt;

  PageFields smartFields;
  smartFields.Add("STR_SMART", attributeRows);
  if (!ExpandTemplate(PageTemplatePath(roots, kPageSmart, 1), infoPath, smartFields, message))
    return std::nullopt;
  // The workbooks are rewritten on every visit, like the pages: no flush to the disk.
  const OutputOptions rebuilt{FileAccess::kShared, FileDurability::kUnflushed};
  if (!WriteSmartWorkbook(input.attributes, data + "SMART.xls", message, rebuilt))
    return std::nullopt;

  WriteIdentifyWorkbook(lines, data + "Identify.xls", message, rebuilt);
  PageFields identifyFields;
  identifyFields.Add("STR_ID_TABLE", identifyRows);
  if (!ExpandTemplate(PageTemplatePath(roots, kPageSmart, 2), identifyPath, identifyFields,
                      message))
    return std::nullopt;
  return kSmartPageFile;
}

}  // namespace ds
