#include "pages/health_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/history_folder.h"
#include "tests/run_program.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class HealthExportTest : public ::testing::Test {
 protected:
  HealthExportTest() { std::filesystem::create_directories(folder_); }
  TempFolder home_;
  const std::string folder_ = HistoryFolder(home_.path(), "QRA-X50", "SN1");
};

TEST_F(HealthExportTest, RowsRunByDateWithinTheRangeAcrossMonthsYearsAndTheLeapDay) {
  // Lines in file order are not date order; days out of range or impossible are not exported.
  Write(folder_ + "record_2016_2.dat",
        "2016_2_29=600\r\n2016_2_27=3\r\n2016_2_28=300\r\n2016_2_30=1\r\n2016_2_26=2\r\n");
  Write(folder_ + "record_2016_3.dat", "2016_3_2=4000\r\n2016_3_1=900\r\n2016_3_3=5\r\n");
  Write(folder_ + "record_2016_1.dat", "2016_1_31=1\r\n2016_1_1=90\r\n2016_1_2=120\r\n");
  Write(folder_ + "record_2015_12.dat", "2015_12_30=30\r\n2015_12_31=60\r\n");
  // Label, start record, today, limit, rows as date|health|erase count.
  const std::tuple<const char*, HistoryStart, CivilDate, std::int64_t, std::vector<std::string>>
      cases[] = {
          // clang-format off
      {"leap day", {2016, 2, 27, 3}, {2016, 3, 2}, 3000, {"2016-02-27|100|3", "2016-02-28|90|300", "2016-02-29|80|600", "2016-03-01|70|900", "2016-03-02|0|4000"}},
      {"year end", {2015, 12, 30, 30}, {2016, 1, 2}, 3000, {"2015-12-30|99|30", "2015-12-31|98|60", "2016-01-01|97|90", "2016-01-02|96|120"}},
      {"starts late", {2015, 12, 31, 60}, {2016, 1, 1}, 3000, {"2015-12-31|98|60", "2016-01-01|97|90"}},
      {"start after today", {2016, 1, 3, 1}, {2016, 1, 2}, 3000, {}},
      {"no limit", {2016, 1, 2, 1}, {2016, 1, 2}, 0, {"2016-01-02|---|120"}},
      {"no start record", {0, 0, 0, -1}, {2016, 1, 2}, 3000, {}},
          // clang-format on
      };
  for (const auto& [label, start, today, limit, expected] : cases) {
    std::vector<std::string> rows;
    for (const HealthExportRow& row : HealthExportRows(folder_, start, today, limit))
      rows.push_back(row.date + "|" + row.health + "|" + row.eraseCount);
    EXPECT_EQ(rows, expected) << label;
  }
}

TEST_F(HealthExportTest, WorkbookHoldsTheHeaderAndOneRowPerRecordedDay) {
  Write(folder_ + "record_2016_2.dat", "2016_2_28=300\r\n2016_2_29=600\r\n");
  const std::string path = home_.path() + "data/health.xls";
  std::string message;
  ASSERT_TRUE(ExportHealthWorkbook(folder_, {2016, 2, 1, 0}, {2016, 3, 7}, 3000, path, &message))
      << message;
  EXPECT_EQ(ReadWorkbookWithXlrd(path),
            "Health\nDate\tHealth\tErase Count\n2016-02-28\t90\t300\n2016-02-29\t80\t600\n");
  // An endurance history: its own label, health 100 - percentage used within 0 .. 100.
  Write(folder_ + "record_2016_2.dat", "2016_2_28=7\r\n2016_2_29=130\r\n");
  ASSERT_TRUE(
      ExportHealthWorkbook(folder_, {2016, 2, 1, -1, 5, true}, {2016, 3, 7}, 0, path, &message))
      << message;
  EXPECT_EQ(ReadWorkbookWithXlrd(path),
            "Health\nDate\tHealth\tPercentage used (%)\n2016-02-28\t93\t7\n2016-02-29\t0\t130\n");
  EXPECT_FALSE(ExportHealthWorkbook(folder_, {2016, 1, 1, 0}, {2016, 3, 7}, 3000,
                                    home_.path() + "no/such/folder/health.xls", &message));
}

}  // namespace
}  // namespace ds
