#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/atomic_output_file.h"
#include "store/history_date.h"
#include "store/history_records.h"

// The health history workbook: sheet "Health" with a "Date", "Health", "Erase Count" header
// and one row per recorded day from the history's start date through today. An endurance
// history's third column is "Percentage used (%)" and its health 100 - that value.
namespace ds {

struct HealthExportRow {
  std::string date;        // "2016-08-07"
  std::string health;      // the chart health of the value, "---" without a positive limit;
                           // of an endurance history, 100 - the value within 0 .. 100
  std::string eraseCount;  // the stored value as read
};

// The recorded days of history folder `folder` from `start` through `today`, in date order.
// Nothing when the start lies after today. `limit` is unused for an endurance history.
std::vector<HealthExportRow> HealthExportRows(const std::string& folder, const HistoryStart& start,
                                              const CivilDate& today, std::int64_t limit);

// Writes the workbook of those rows to `path` (replaced atomically). False with `message`
// when it could not be written.
bool ExportHealthWorkbook(const std::string& folder, const HistoryStart& start,
                          const CivilDate& today, std::int64_t limit, const std::string& path,
                          std::string* message, const OutputOptions& options = {});

}  // namespace ds
