#include "pages/health_export.h"

#include "drive/drive_figures.h"
#include "pages/health_page.h"
#include "pages/page_format.h"
#include "platform/file_system.h"
#include "sheet/xls_workbook.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {

std::vector<HealthExportRow> HealthExportRows(const std::string& folder, const HistoryStart& start,
                                              const CivilDate& today, std::int64_t limit) {
  std::vector<HealthExportRow> rows;
  if (start.start_date_year <= 0)
    return rows;
  const std::int64_t first = DayNumber(start.date());
  const std::int64_t last = DayNumber(today);
  // Months are counted as year * 12 + month - 1 so the walk cannot overflow or stall.
  const std::int64_t firstMonth =
      static_cast<std::int64_t>(start.start_date_year) * 12 + start.start_date_month - 1;
  const std::int64_t lastMonth = static_cast<std::int64_t>(today.year) * 12 + today.month - 1;
  for (std::int64_t index = firstMonth; index <= lastMonth; ++index) {
    const int year = static_cast<int>(index / 12);
    const int month = static_cast<int>(index % 12) + 1;
    const std::string path = folder + DayFileName(year, month);
    if (!FileExists(path))
      continue;
    const IniFileReader reader = ReadKeyValueFile(path);
    for (int day = 1; day <= DaysInMonth(year, month); ++day) {
      const std::int64_t number = DayNumber({year, month, day});
      if (number < first || number > last)
        continue;
      std::string value = reader.lookup(DayKey(year, month, day));
      if (value.empty())
        continue;
      std::string health = "---";
      if (start.isEndurance())
        health = EnduranceHealth(LeadingInteger64(value)).text;
      else if (limit > 0)
        health = Format("%d", ChartHealth(value, limit));
      rows.push_back({Format("%d-%02d-%02d", year, month, day), health, std::move(value)});
    }
  }
  return rows;
}

bool ExportHealthWorkbook(const std::string& folder, const HistoryStart& start,
                          const CivilDate& today, std::int64_t limit, const std::string& path,
                          std::string* message, const OutputOptions& options) {
  XlsWorkbook book;
  book.New(1);
  book.RenameSheet("Sheet1", "Health");
  XlsSheet* sheet = book.GetSheet("Health");
  sheet->Cell(0, 0)->SetText("Date");
  sheet->Cell(0, 1)->SetText("Health");
  sheet->Cell(0, 2)->SetText(start.isEndurance() ? "Percentage used (%)" : "Erase Count");
  int row = 1;
  for (const HealthExportRow& entry : HealthExportRows(folder, start, today, limit)) {
    if (row >= XlsSheet::kRowCount)
      break;  // the format holds no more rows
    sheet->Cell(row, 0)->SetText(entry.date);
    sheet->Cell(row, 1)->SetText(entry.health);
    sheet->Cell(row, 2)->SetText(entry.eraseCount);
    ++row;
  }
  return book.SaveAs(path, message, options);
}

}  // namespace ds
