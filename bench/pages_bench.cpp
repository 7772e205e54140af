// Page builds: a 1 MiB template, Disk Information of four drives, S.M.A.R.T., Health over 16
// years, and a 20-year health export.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "pages/disk_info_page.h"
#include "pages/health_export.h"
#include "pages/health_page.h"
#include "pages/smart_page.h"
#include "pages/template_expander.h"
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

// A 1 MiB template holding 256 different keys, each once per 4 KiB block.
void BM_ExpandTemplate1MiB256Keys(benchmark::State& state) {
  ds::TempFolder home;
  ds::PageFields fields;
  for (int k = 0; k < 256; ++k)
    fields.Add("STR_KEY_" + std::to_string(1000 + k), "value" + std::to_string(k));
  std::string text = "<html>";
  for (int block = 0; text.size() < (1u << 20); ++block)
    text += "STR_KEY_" + std::to_string(1000 + block % 256) + " " + std::string(4096, 'x') + "\n";
  std::ofstream(home.path() + "big.tmp", std::ios::binary) << text << "</html>";
  std::string message;
  for (auto _ : state) {
    if (!ds::ExpandTemplate(home.path() + "big.tmp", home.path() + "big.html", fields, &message))
      state.SkipWithError("the template did not expand");
  }
}
BENCHMARK(BM_ExpandTemplate1MiB256Keys)->Unit(benchmark::kMillisecond);

// Disk Information of a four-drive machine; space and temperature answer at once (device
// I/O is not part of the figure).
void BM_DiskInfoBuild(benchmark::State& state) {
  BenchHome bench(2026);
  ds::DiskInfoInput input;
  for (const char* letters : {"/", "/data, /srv", "", "/home"}) {
    ds::DriveRecord& drive = input.drives.emplace_back();
    drive.model = "QRA X50 128GB", drive.serial = "SN1", drive.firmware = "FW1.0";
    drive.driveLetters = letters, drive.driveNumber = static_cast<int>(input.drives.size()) - 1;
    drive.sectorCount = 250069680, drive.identifyWords[76] = 0x050E;
  }
  input.volumeSpace = [](const std::string&, std::uint64_t* freeBytes, std::uint64_t* total) {
    *freeBytes = 100ULL << 30, *total = 500ULL << 30;
    return true;
  };
  input.temperature = [](int, int* celsius) { return *celsius = 38, true; };
  std::string message;
  for (auto _ : state) {
    if (!ds::BuildDiskInfoPage(ds::ProgramRoots(bench.home.path()), input, &message))
      state.SkipWithError("no Disk Information page written");
  }
}
BENCHMARK(BM_DiskInfoBuild)->Unit(benchmark::kMillisecond);

void BM_SmartPageBuild(benchmark::State& state) {
  BenchHome bench(2025);
  ds::SmartPageInput input{1, {}, {}, {}, {}, {}, {}, {}};
  for (int i = 0; i < 24; ++i)
    input.attributes.push_back({static_cast<std::uint8_t>(160 + i),
                                "Attribute " + std::to_string(i), 0, 100, 100, 0,
                                123456u * static_cast<unsigned>(i)});
  if (!ds::LoadIdentifyTable(input.identify.identifyDesc, bench.home.path()))
    state.SkipWithError("no Identify.dat");
  input.identify.identifyWords.fill(0x5A5A), input.identify.model = "QRA X50 128GB";
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
