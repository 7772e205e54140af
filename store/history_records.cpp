#include "store/history_records.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string_view>
#include <system_error>

#include "platform/file_system.h"
#include "store/key_value_writer.h"
#include "store/settings_store.h"
#include "text/ini_file_reader.h"
#include "text/leading_integer.h"

namespace ds {
namespace {

// Lines end as a text-mode write on the platform the files come from makes them.
constexpr std::string_view kLineEnd = "\r\n";

std::string Line(std::string_view key, std::uint64_t value) {
  std::string line(key);
  line += '=';
  line += std::to_string(value);
  return line;
}

bool FolderExists(const std::string& folder) {
  std::error_code error;
  return std::filesystem::is_directory(folder, error);
}

// The span of the first line whose key equals `key` (case folded, as the reader matches
// keys), line end excluded; npos when there is none.
struct LineSpan {
  std::size_t begin = std::string::npos;
  std::size_t end = std::string::npos;
};

LineSpan FindKeyLine(const std::string& text, std::string_view key) {
  const std::string wanted = FoldCase(key);
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos)
      end = text.size();
    std::string_view line(text.data() + begin, end - begin);
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos && FoldCase(TrimBoth(line.substr(0, equals))) == wanted)
      return LineSpan{begin, end};
    begin = end + 1;
  }
  return {};
}

bool SaveHistoryText(const std::string& path, const std::string& text,
                     std::string* problem = nullptr) {
  std::string message;
  if (ReplaceFileAtomically(path, text, FileAccess::kShared, &message, FileDurability::kFlushed))
    return true;
  if (problem != nullptr)
    *problem = "cannot write the history file " + path + ": " + message;
  return false;
}

const char* SourceText(bool endurance) {
  return endurance ? "endurance indicator" : "erase count";
}

bool RecordValue(const std::string& folder, const std::string& fileName, const std::string& key,
                 std::uint64_t value, bool endurance, std::string* problem) {
  if (!FolderExists(folder)) {
    if (problem != nullptr)
      *problem = std::string("cannot record the ") + SourceText(endurance) +
                 ": the history folder " + folder + " is missing";
    return false;
  }
  // Values of the two sources never share a folder: a chart of both would mean nothing.
  HistoryStart start;
  if (ReadHistoryStart(folder, &start) && start.isEndurance() != endurance) {
    if (problem != nullptr)
      *problem = std::string("cannot record the ") + SourceText(endurance) + " in " + folder +
                 ": it holds a history of the " + SourceText(!endurance);
    return false;
  }
  const std::string path = folder + fileName;
  const std::string line = Line(key, value);
  if (!FileExists(path))
    return SaveHistoryText(path, line + std::string(kLineEnd), problem);

  std::string text, message;
  // An unreadable file is left alone: rewriting it from nothing would lose its lines.
  if (!ReadWholeFile(path, kMaxTextFileBytes, &text, &message)) {
    if (problem != nullptr)
      *problem = "cannot read the history file " + path + " (" + message + "); it is left as it is";
    return false;
  }
  const std::string stored = IniFileReader::FromText(text).lookup(key);
  if (!stored.empty() && value <= std::numeric_limits<std::uint32_t>::max() &&
      LeadingInteger64(stored) == static_cast<std::int64_t>(value)) {
    return true;
  }
  const LineSpan span = FindKeyLine(text, key);
  if (span.begin == std::string::npos) {
    // A file cut short after its last value must not glue the new line onto it.
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
      text += kLineEnd;
    text += line;
    text += kLineEnd;
  } else {
    text.replace(span.begin, span.end - span.begin, line);
  }
  return SaveHistoryText(path, text, problem);
}

std::string StartRecordText(const CivilDate& date, std::uint64_t value, bool endurance = false) {
  KeyValueWriter writer;
  writer.Add("start_date_year", date.year);
  writer.Add("start_date_month", date.month);
  writer.Add("start_date_day", date.day);
  writer.Add(endurance ? "percentage_used" : "avg_erase_count", std::to_string(value));
  if (endurance)
    writer.Add("source", "endurance");
  return writer.text();
}

void SaveSampleFile(const std::string& path, const std::string& text) {
  std::string ignored;
  ReplaceFileAtomically(path, text, FileAccess::kShared, &ignored, FileDurability::kUnflushed);
}

}  // namespace

std::string YearFileName() {
  return "record.dat";
}
std::string MonthFileName(int year) {
  return "record_" + std::to_string(year) + ".dat";
}
std::string DayFileName(int year, int month) {
  return "record_" + std::to_string(year) + "_" + std::to_string(month) + ".dat";
}
std::string YearKey(int year) {
  return std::to_string(year);
}
std::string MonthKey(int year, int month) {
  return std::to_string(year) + "_" + std::to_string(month);
}
std::string DayKey(int year, int month, int day) {
  return MonthKey(year, month) + "_" + std::to_string(day);
}

bool ReadHistoryStart(const std::string& folder, HistoryStart* start) {
  *start = HistoryStart{};
  const std::string path = folder + kHistoryStartFile;
  if (FileExists(path)) {
    IniFileReader reader = ReadKeyValueFile(path);
    AssignIfNotEmpty(reader.lookup("start_date_year"), &start->start_date_year);
    AssignIfNotEmpty(reader.lookup("start_date_month"), &start->start_date_month);
    AssignIfNotEmpty(reader.lookup("start_date_day"), &start->start_date_day);
    AssignIfNotEmpty(reader.lookup("avg_erase_count"), &start->avg_erase_count);
    AssignIfNotEmpty(reader.lookup("percentage_used"), &start->percentage_used);
    start->endurance = FoldCase(TrimBoth(reader.lookup("source"))) == "endurance";
  }
  // A date that is zero or no calendar day (month 13, day 40) cannot anchor the lifespan
  // estimate or the export's walk through the days; it counts as missing.
  const std::int32_t startValue =
      start->endurance ? start->percentage_used : start->avg_erase_count;
  return start->start_date_year > 0 && IsValidDate(start->date()) && startValue != -1;
}

namespace {

HistoryStart LoadStart(const std::string& folder, std::uint64_t value, bool endurance,
                       const CivilDate& today, std::string* problem) {
  std::string ignoredProblem;
  std::string& note = problem != nullptr ? *problem : ignoredProblem;
  note.clear();
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);
  HistoryStart start;
  if (ReadHistoryStart(folder, &start))
    return start;

  start = HistoryStart{};
  start.start_date_year = today.year;
  start.start_date_month = today.month;
  start.start_date_day = today.day;
  start.endurance = endurance;
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  (endurance ? start.percentage_used : start.avg_erase_count) = low;
  // A record that is there but unusable is kept: its date may be all that is left of when
  // the disk's history began.
  const std::string path = folder + kHistoryStartFile;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) {
    const std::string kept = path + ".unreadable-" + LocalTimeStamp();
    if (std::rename(path.c_str(), kept.c_str()) != 0) {
      note = "the history start record " + path + " is unusable and cannot be kept aside (" +
             std::strerror(errno) + "); it is left as it is and today stands in for its date";
      return start;
    }
    note = "the history start record " + path +
           " held no valid date and erase count; it is kept as " + kept +
           " and a new one dated today begins";
  }
  std::string written;
  if (!SaveHistoryText(path, StartRecordText(today, value, endurance), &written))
    note += (note.empty() ? "" : "; ") + written;
  return start;
}

}  // namespace

HistoryStart LoadHistoryStart(const std::string& folder, std::uint64_t attr167Raw,
                              const CivilDate& today, std::string* problem) {
  return LoadStart(folder, attr167Raw, false, today, problem);
}

HistoryStart LoadEnduranceStart(const std::string& folder, std::int64_t percentageUsed,
                                const CivilDate& today, std::string* problem) {
  std::string note;
  // The window starts an erase-count record for whichever disk it selects; without any
  // dated value it holds only a date and an erase count the disk does not keep. It is kept
  // aside and the endurance history begins.
  HistoryStart found;
  const std::string path = folder + kHistoryStartFile;
  if (ReadHistoryStart(folder, &found) && !found.isEndurance() &&
      !FileExists(folder + YearFileName())) {
    const std::string kept = path + ".erase-count-" + LocalTimeStamp();
    if (std::rename(path.c_str(), kept.c_str()) == 0)
      note = "the erase-count start record " + path + " held no history; it is kept as " + kept;
  }
  std::string started;
  const HistoryStart start =
      LoadStart(folder, static_cast<std::uint64_t>(percentageUsed), true, today, &started);
  note += (note.empty() || started.empty() ? "" : "; ") + started;
  if (problem != nullptr)
    *problem = note;
  return start;
}

bool RecordEndurance(const std::string& folder, const CivilDate& date, std::int64_t percentageUsed,
                     std::string* problem) {
  if (percentageUsed < 0) {
    if (problem != nullptr)
      *problem = "no endurance indicator to record";
    return false;
  }
  const auto value = static_cast<std::uint64_t>(percentageUsed);
  std::string note;
  const HistoryStart start = LoadEnduranceStart(folder, percentageUsed, date, &note);
  if (!start.isEndurance()) {
    if (problem != nullptr)
      *problem = "cannot record the endurance indicator in " + folder +
                 ": it holds a history of the erase count";
    return false;
  }
  if (problem != nullptr)
    *problem = note;
  return RecordValue(folder, DayFileName(date.year, date.month),
                     DayKey(date.year, date.month, date.day), value, true, problem) &&
         RecordValue(folder, MonthFileName(date.year), MonthKey(date.year, date.month), value, true,
                     problem) &&
         RecordValue(folder, YearFileName(), YearKey(date.year), value, true, problem);
}

bool RecordYear(const std::string& folder, int year, std::uint64_t attr167Raw,
                std::string* problem) {
  return RecordValue(folder, YearFileName(), YearKey(year), attr167Raw, false, problem);
}

bool RecordMonth(const std::string& folder, int year, int month, std::uint64_t attr167Raw,
                 std::string* problem) {
  return RecordValue(folder, MonthFileName(year), MonthKey(year, month), attr167Raw, false,
                     problem);
}

bool RecordDay(const std::string& folder, int year, int month, int day, std::uint64_t attr167Raw,
               std::string* problem) {
  return RecordValue(folder, DayFileName(year, month), DayKey(year, month, day), attr167Raw, false,
                     problem);
}

void WriteSampleHistory(const std::string& home, int year) {
  const std::string data = home + "data/";
  for (int z = 2014; z <= year; ++z) {
    for (int m = 1; m <= 12; ++m) {
      std::string text;
      for (int d = 1; d <= DaysInMonth(z, m); ++d)
        text += DayKey(z, m, d) + "=" + std::to_string(101 - d) + std::string(kLineEnd);
      SaveSampleFile(data + DayFileName(z, m), text);
    }
  }
  std::string months;
  for (int m = 1; m <= 12; ++m)
    months += MonthKey(year, m) + "=" + std::to_string(100 - 2 * (m - 1)) + std::string(kLineEnd);
  SaveSampleFile(data + MonthFileName(year), months);
  std::string years;
  for (int i = 0; i < 12; ++i)
    years += YearKey(year - i) + "=" + std::to_string(40 - 2 * i) + std::string(kLineEnd);
  SaveSampleFile(data + YearFileName(), years);
}

bool WriteDemoHistory(const std::string& folder, std::uint64_t attr167Raw, const CivilDate& today) {
  std::error_code ignored;
  std::filesystem::create_directory(folder, ignored);
  if (!FolderExists(folder) || FileExists(folder + kHistoryStartFile))
    return false;

  constexpr std::int64_t kDays = 365;
  const std::int64_t last = DayNumber(today);
  const std::int64_t first = last - kDays;
  const std::uint64_t low = attr167Raw / 2;
  auto valueOn = [&](std::int64_t dayNumber) {
    return low + (attr167Raw - low) * static_cast<std::uint64_t>(dayNumber - first) /
                     static_cast<std::uint64_t>(kDays);
  };

  // The texts of every file, keyed by file name, each line in date order.
  std::map<std::string, std::string> files;
  std::map<std::string, std::uint64_t> lastOfMonth, lastOfYear;
  for (std::int64_t n = first; n <= last; ++n) {
    const CivilDate date = DateOfDayNumber(n);
    const std::uint64_t value = valueOn(n);
    files[DayFileName(date.year, date.month)] +=
        Line(DayKey(date.year, date.month, date.day), value) + std::string(kLineEnd);
    lastOfMonth[MonthKey(date.year, date.month)] = value;
    lastOfYear[YearKey(date.year)] = value;
  }
  for (int year = DateOfDayNumber(first).year; year <= today.year; ++year) {
    for (int month = 1; month <= 12; ++month) {
      auto found = lastOfMonth.find(MonthKey(year, month));
      if (found != lastOfMonth.end())
        files[MonthFileName(year)] += Line(found->first, found->second) + std::string(kLineEnd);
    }
    auto found = lastOfYear.find(YearKey(year));
    if (found != lastOfYear.end())
      files[YearFileName()] += Line(found->first, found->second) + std::string(kLineEnd);
  }
  bool written = true;
  for (const auto& [name, text] : files)
    written = SaveHistoryText(folder + name, text) && written;
  // The start record goes last: an interrupted run leaves no start record and is repeated.
  return written && SaveHistoryText(folder + kHistoryStartFile,
                                    StartRecordText(DateOfDayNumber(first), valueOn(first)));
}

}  // namespace ds
