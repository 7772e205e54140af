#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "pages/health_export.h"
#include "pages/health_page.h"
#include "store/history_folder.h"
#include "store/history_records.h"
#include "tests/temp_folder.h"

namespace {

constexpr ds::CivilDate kToday{2026, 3, 31};

// A program folder with the Health template and a drive with a record for every day from
// `firstYear` to today, in the files and formats the monitor writes.
struct HealthBenchHome {
  explicit HealthBenchHome(int firstYear) {
    std::filesystem::create_directories(home.path() + "data/template");
    std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/HealthPage.tmp",
                               home.path() + "data/template/HealthPage.tmp");
    folder = ds::HistoryFolder(home.path(), "QRA-X50 128GB", "BENCH0001");
    ds::LoadHistoryStart(folder, 100, {firstYear, 1, 1});
    std::map<std::string, std::string> files;
    std::uint64_t value = 100;
    for (std::int64_t n = ds::DayNumber({firstYear, 1, 1}); n <= ds::DayNumber(kToday); ++n) {
      const ds::CivilDate d = ds::DateOfDayNumber(n);
      value += n % 3 == 0 ? 1 : 0;
      const std::string tail = "=" + std::to_string(value) + "\r\n";
      files[ds::DayFileName(d.year, d.month)] += ds::DayKey(d.year, d.month, d.day) + tail;
      if (d.day == ds::DaysInMonth(d.year, d.month) || n == ds::DayNumber(kToday)) {
        files[ds::MonthFileName(d.year)] += ds::MonthKey(d.year, d.month) + tail;
        if (d.month == 12 || n == ds::DayNumber(kToday))
          files[ds::YearFileName()] += ds::YearKey(d.year) + tail;
      }
    }
    for (const auto& [name, text] : files)
      std::ofstream(folder + name, std::ios::binary) << text;
  }
  ds::TempFolder home;
  std::string folder;
};

// One Health tab build: three pages, 31 day, 12 month and 16 year records read.
void BM_HealthPageBuild(benchmark::State& state) {
  HealthBenchHome bench(2011);
  ds::HealthPageInput input;
  input.driveCount = 1;
  input.model = "QRA-X50 128GB";
  input.serial = "BENCH0001";
  input.attr167Raw = 2100;
  input.modelSeries = 0;
  input.today = kToday;
  ds::HistoryStart start;
  std::string message;
  for (auto _ : state) {
    std::optional<std::string> page =
        ds::BuildHealthPage(ds::ProgramRoots(bench.home.path()), input, &start, &message);
    if (!page)
      state.SkipWithError("no page written");
    benchmark::DoNotOptimize(page);
  }
}
BENCHMARK(BM_HealthPageBuild)->Unit(benchmark::kMillisecond);

// The export of 20 years of daily history (about 7,300 rows) into health.xls.
void BM_HealthExport20Years(benchmark::State& state) {
  HealthBenchHome bench(2006);
  const ds::HistoryStart start{2006, 1, 1, 100};
  const std::string path = bench.home.path() + "data/health.xls";
  for (auto _ : state) {
    std::string message;
    if (!ds::ExportHealthWorkbook(bench.folder, start, kToday, 3000, path, &message))
      state.SkipWithError(message.c_str());
  }
  state.counters["rows"] =
      static_cast<double>(ds::HealthExportRows(bench.folder, start, kToday, 3000).size());
}
BENCHMARK(BM_HealthExport20Years)->Unit(benchmark::kMillisecond);

}  // namespace
