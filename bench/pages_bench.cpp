// The heaviest page builds (S.M.A.R.T., Health over 16 years) and a 20-year health export.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "pages/health_export.h"
#include "pages/health_page.h"
#include "pages/smart_page.h"
#include "store/description_tables.h"
#include "store/history_folder.h"
#include "store/history_records.h"
#include "tests/temp_folder.h"

namespace {

constexpr ds::CivilDate kToday{2026, 3, 31};

// The delivered templates and a drive's daily history from `firstYear` to today.
struct BenchHome {
  explicit BenchHome(int firstYear) {
    std::filesystem::create_directories(home.path() + "data");
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data/template",
                          home.path() + "data/template");
    std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/Identify.dat",
                               home.path() + "data/Identify.dat");
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

void BM_SmartPageBuild(benchmark::State& state) {
  BenchHome bench(2025);
  ds::SmartPageInput input{1, {}, {}};
  for (int i = 0; i < 24; ++i)
    input.attributes.push_back({static_cast<std::uint8_t>(160 + i),
                                "Attribute " + std::to_string(i), 0, 100, 100, 0,
                                123456u * static_cast<unsigned>(i)});
  ds::LoadIdentifyTable(input.identify.identifyDesc, bench.home.path());
  input.identify.identifyWords.fill(0x5A5A);
  input.identify.model = "QRA X50 128GB";
  std::string message;
  for (auto _ : state) {
    if (!ds::BuildSmartPage(ds::ProgramRoots(bench.home.path()), input, &message))
      state.SkipWithError("no S.M.A.R.T. page written");
  }
}
BENCHMARK(BM_SmartPageBuild)->Unit(benchmark::kMillisecond);

void BM_HealthPageBuild(benchmark::State& state) {
  BenchHome bench(2011);
  const ds::HealthPageInput input{.driveCount = 1,
                                  .model = "QRA-X50 128GB",
                                  .serial = "BENCH0001",
                                  .attr167Raw = 2100,
                                  .today = kToday};
  ds::HistoryStart start;
  std::string message;
  for (auto _ : state) {
    if (!ds::BuildHealthPage(ds::ProgramRoots(bench.home.path()), input, &start, &message))
      state.SkipWithError("no Health page written");
  }
}
BENCHMARK(BM_HealthPageBuild)->Unit(benchmark::kMillisecond);

void BM_HealthExport20Years(benchmark::State& state) {
  BenchHome bench(2006);
  std::string message;
  for (auto _ : state) {
    if (!ds::ExportHealthWorkbook(bench.folder, {2006, 1, 1, 100}, kToday, 3000,
                                  bench.home.path() + "data/health.xls", &message))
      state.SkipWithError(message.c_str());
  }
}
BENCHMARK(BM_HealthExport20Years)->Unit(benchmark::kMillisecond);

}  // namespace
