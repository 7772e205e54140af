#pragma once

#include <optional>
#include <string>
#include <vector>

#include "drive/device_statistics.h"
#include "drive/drive_record.h"
#include "drive/selftest.h"
#include "pages/identify_table.h"
#include "platform/atomic_output_file.h"
#include "platform/program_roots.h"

// The S.M.A.R.T. page: the attribute table of the selected disk (SMARTInfo.html and
// "SMART.xls"), its decoded IDENTIFY table (SMART_ID_Info.html and "Identify.xls") and its
// device statistics, shown together by SMARTPage.html.
namespace ds {

// The status shown for an attribute: "OK", or "FAIL" when its value has reached a
// non-zero threshold (the drive itself then reports the attribute as failing).
std::string AttributeStatus(const SmartAttribute& attribute);

// The eight texts of an attribute: id "%02X", name, threshold, value, worst, status,
// raw (at least eight digits) and the low 32 bits of raw in hex.
std::vector<std::string> AttributeCells(const SmartAttribute& attribute);

// The HTML rows of the attribute table, spacer rows included.
std::string SmartAttributeRows(const std::vector<SmartAttribute>& attributes);

// Writes sheet "SMART" with the header row and one row per attribute.
bool WriteSmartWorkbook(const std::vector<SmartAttribute>& attributes, const std::string& path,
                        std::string* message, const OutputOptions& options = {});

// The HTML rows of the device statistics section: two statistics a row, name and value
// with its unit, or one row saying the disk reports none.
std::string DeviceStatisticsRows(const std::optional<DeviceStatistics>& statistics);

// The HTML rows of the self-test log table (type, status, remaining, power-on hours, first
// failing LBA; newest first), or one row saying there is none.
std::string SelfTestLogRows(const std::optional<SelfTestLog>& log);

// The HTML rows of the error log: its count, then its newest entries.
std::string ErrorLogRows(const std::optional<ErrorLog>& log);

// The self-test controls in the band above the logs: the short and extended test buttons with
// their estimated minutes when the disk runs self-tests and none runs, the progress and an
// Abort button while one runs, a note when the disk runs none. Their click rectangles are the
// S.M.A.R.T. page's rows in the page registry.
std::string SelfTestControls(const SelfTestCapability& capability,
                             const SelfTestExecution& execution);

struct SmartPageInput {
  int driveCount = 0;
  std::vector<SmartAttribute> attributes;            // the snapshot's list, in its order
  IdentifyTableInput identify;                       // the selected drive and the descriptions
  std::optional<DeviceStatistics> deviceStatistics;  // the snapshot's
  std::optional<SelfTestLog> selfTestLog;            // the snapshot's
  std::optional<ErrorLog> errorLog;                  // the snapshot's
  SelfTestCapability selfTestCapability;             // the snapshot's
  SelfTestExecution selfTestExecution;               // the snapshot's
  std::optional<bool> smartStatusPassed = {};        // the snapshot's own verdict
};

inline constexpr const char* kSmartPageFile = "SMARTPage.html";

// Deletes the previous pages, writes the three pages and both workbooks into the home folder
// and returns "SMARTPage.html" when the whole page is ready; nothing (with `message`; the
// browser is not moved) when there is no drive, a template is missing or a workbook could
// not be written.
[[nodiscard]] std::optional<std::string> BuildSmartPage(const ProgramRoots& roots,
                                                        const SmartPageInput& input,
                                                        std::string* message);

}  // namespace ds
