// The largest workbook the program writes: a full sheet of 65,536 rows x 8 distinct texts,
// built and saved; the file size and the process's peak resident size (this benchmark runs
// before any larger one) as counters.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "sheet/xls_workbook.h"
#include "tests/temp_folder.h"

namespace {

void BM_XlsBuildAndSaveFullSheet(benchmark::State& state) {
  ds::TempFolder folder;
  const std::string path = folder.path() + "full.xls";
  for (auto _ : state) {
    ds::XlsWorkbook book;
    book.New(1);
    ds::XlsSheet* sheet = book.GetSheet("Sheet1");
    for (int r = 0; r < ds::XlsSheet::kRowCount; ++r) {
      for (int c = 0; c < 8; ++c)
        sheet->Cell(r, c)->SetText("row " + std::to_string(r) + " col " + std::to_string(c));
    }
    if (!book.SaveAs(path))
      state.SkipWithError("SaveAs failed");
  }
  std::error_code ignored;
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path, ignored)) / 1e6;
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
}
BENCHMARK(BM_XlsBuildAndSaveFullSheet)->Unit(benchmark::kMillisecond);

}  // namespace
