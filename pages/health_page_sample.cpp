// Writes the three Health pages of a sample drive with about a year of history into a
// program folder, for looking at the page and for the browser test of its chart:
//
//   health_page_sample HOME YEAR MONTH DAY
//
// HOME must hold data/template/HealthPage.tmp; the drive's history is generated there
// (when it has none yet) ending on the given date.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pages/health_page.h"
#include "store/history_folder.h"
#include "store/history_records.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: health_page_sample HOME YEAR MONTH DAY\n");
    return 2;
  }
  std::string home = argv[1];
  if (home.back() != '/')
    home += '/';
  const ds::CivilDate today{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
  if (!ds::IsValidDate(today)) {
    std::fprintf(stderr, "health_page_sample: not a date\n");
    return 2;
  }
  ds::HealthPageInput input;
  input.driveCount = 1;
  input.model = "QRA-X50 128GB";
  input.serial = "SAMPLE0001";
  input.powerOnHours = 8760;
  input.powerCycles = 412;
  input.attr167Raw = 1000;
  input.modelSeries = 0;
  input.peCycleLimit = 3000;
  input.active_rec = 1;
  input.today = today;
  ds::WriteDemoHistory(ds::HistoryFolder(home, input.model, input.serial), input.attr167Raw, today);
  ds::HistoryStart start;
  std::string message;
  const std::optional<std::string> page =
      ds::BuildHealthPage(ds::ProgramRoots(home), input, &start, &message);
  if (!page) {
    std::fprintf(stderr, "health_page_sample: no page written %s\n", message.c_str());
    return 1;
  }
  std::printf("%s\n", page->c_str());
  return 0;
}
