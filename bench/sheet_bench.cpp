// Workbook writer: saving a full sheet (65,536 rows x 8 columns of distinct texts), the
// time to build and save it, and how the save time grows with the number of cells.
// Counters: the file size and the process's peak resident memory (run this benchmark
// alone, --benchmark_filter=Xls, for a peak that is the writer's own).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "sheet/xls_workbook.h"

namespace {

std::string BenchPath() {
  return (std::filesystem::temp_directory_path() /
          ("ds-sheet-bench-" + std::to_string(::getpid()) + ".xls"))
      .string();
}

void Fill(ds::XlsWorkbook& book, int rows) {
  book.New(1);
  book.RenameSheet("Sheet1", "Health");
  ds::XlsSheet* sheet = book.GetSheet("Health");
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 8; ++c)
      sheet->Cell(r, c)->SetText("row " + std::to_string(r) + " col " + std::to_string(c));
  }
}

void ReportFileAndMemory(benchmark::State& state, const std::string& path) {
  std::error_code ignored;
  const double fileMb = static_cast<double>(std::filesystem::file_size(path, ignored)) / 1e6;
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  const double peakMb = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
  state.counters["file_MB"] = fileMb;
  state.counters["peak_rss_MB"] = peakMb;
  state.counters["peak_per_file"] = fileMb > 0 ? peakMb / fileMb : 0;
  std::filesystem::remove(path, ignored);
}

void BM_XlsSaveFullSheet(benchmark::State& state) {
  ds::XlsWorkbook book;
  Fill(book, 65536);
  const std::string path = BenchPath();
  for (auto _ : state) {
    if (!book.SaveAs(path))
      state.SkipWithError("SaveAs failed");
  }
  ReportFileAndMemory(state, path);
}
BENCHMARK(BM_XlsSaveFullSheet)->Unit(benchmark::kMillisecond);

void BM_XlsBuildAndSaveFullSheet(benchmark::State& state) {
  const std::string path = BenchPath();
  for (auto _ : state) {
    ds::XlsWorkbook book;
    Fill(book, 65536);
    if (!book.SaveAs(path))
      state.SkipWithError("SaveAs failed");
  }
  ReportFileAndMemory(state, path);
}
BENCHMARK(BM_XlsBuildAndSaveFullSheet)->Unit(benchmark::kMillisecond);

void BM_XlsSaveScaling(benchmark::State& state) {
  ds::XlsWorkbook book;
  Fill(book, static_cast<int>(state.range(0)));
  const std::string path = BenchPath();
  for (auto _ : state) {
    if (!book.SaveAs(path))
      state.SkipWithError("SaveAs failed");
  }
  state.SetComplexityN(state.range(0) * 8);
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}
BENCHMARK(BM_XlsSaveScaling)
    ->RangeMultiplier(4)
    ->Range(1024, 65536)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
