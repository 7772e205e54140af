#pragma once

#include <cstdint>
#include <string>

#include "store/history_date.h"

// The erase-count history of a drive: a start record and key=value files at three
// resolutions in the drive's history folder (store/history_folder.h):
//
//   record_init.dat     start_date_year/month/day and avg_erase_count
//                       (an endurance history: percentage_used and source=endurance)
//   record.dat          one line per year:   2016=152
//   record_Y.dat        one line per month:  2016_3=152
//   record_Y_M.dat      one line per day:    2016_3_7=152
//
// Lines are in the order their dates were first recorded; a later, different value for a
// date changes its line in place. Every change replaces the file atomically and flushed
// (temporary file, fsync, rename), so a reader sees the old or the new file, never half of
// one, and a crash while writing loses nothing that was already stored.
//
// A disk without the maker's erase count keeps the same files for its Device Statistics
// endurance indicator (percentage used) instead; its start record says so. One folder holds
// one source: the erase-count writers leave an endurance history alone and the endurance
// writer leaves an erase-count history alone, each saying so in its problem text.
//
// Writers (the start record and the Record* calls) must not run at the same time for the
// same folder; the program runs them under its one state lock.
namespace ds {

inline constexpr const char* kHistoryStartFile = "record_init.dat";

// The start record: the day the history began and the erase count on that day.
struct HistoryStart {
  int start_date_year = 0;
  int start_date_month = 0;
  int start_date_day = 0;
  std::int32_t avg_erase_count = -1;  // -1: none
  std::int32_t percentage_used = -1;  // -1: none; set only in an endurance history
  bool endurance = false;             // source=endurance: the values are percentages used

  bool isEndurance() const { return endurance; }
  CivilDate date() const { return {start_date_year, start_date_month, start_date_day}; }
};

// The history file names and keys; months and days have no leading zero.
std::string YearFileName();                        // "record.dat"
std::string MonthFileName(int year);               // "record_2016.dat"
std::string DayFileName(int year, int month);      // "record_2016_3.dat"
std::string YearKey(int year);                     // "2016"
std::string MonthKey(int year, int month);         // "2016_3"
std::string DayKey(int year, int month, int day);  // "2016_3_7"

// Reads the start record of `folder` without creating anything. False (and `start` holding
// what was found) when it is missing or has a missing, zero or impossible date field or no
// avg_erase_count (for an endurance history: no percentage_used).
bool ReadHistoryStart(const std::string& folder, HistoryStart* start);

// Loads the start record of the history folder `folder` (ending in "/"), creating the folder
// (its last level) and the record when needed. A record with a missing, zero or impossible
// date field, or without avg_erase_count, is replaced by one dated `today` that holds the
// low 32 bits of `attr167Raw` (the file keeps the full value); the bad record is first kept
// beside it as record_init.dat.unreadable-YYYYMMDD-HHMMSS (local time), and when it cannot
// be kept it is not replaced either. The result then carries today's values, also when the
// new record cannot be written. `problem` (may be null) gets a line for the log when a
// record was kept aside or could not be kept or written, else is cleared. A valid endurance
// record is returned as it is (isEndurance()): the folder is not this source's.
HistoryStart LoadHistoryStart(const std::string& folder, std::uint64_t attr167Raw,
                              const CivilDate& today, std::string* problem = nullptr);

// Records `attr167Raw` for a year, month or day in its file of `folder`: a new file gets the
// one line, a new date is appended, a changed value replaces its line and an equal one
// changes nothing. Stored values compare equal only when the new value fits in 32 bits.
// False when the folder is missing or the file could not be read or written; `problem`
// (may be null) then says which file and why. False, writing nothing, in an endurance
// history.
bool RecordYear(const std::string& folder, int year, std::uint64_t attr167Raw,
                std::string* problem = nullptr);
bool RecordMonth(const std::string& folder, int year, int month, std::uint64_t attr167Raw,
                 std::string* problem = nullptr);
bool RecordDay(const std::string& folder, int year, int month, int day, std::uint64_t attr167Raw,
               std::string* problem = nullptr);

// Loads the start record of an endurance history as LoadHistoryStart does for the erase
// count, starting it (dated `today`, `percentageUsed`, source=endurance) when there is none;
// an erase-count start record without any dated value (record.dat) is first kept aside as
// record_init.dat.erase-count-YYYYMMDD-HHMMSS. A folder holding an erase-count history gives
// its start record back untouched (not isEndurance()). `problem` (may be null) gets the note
// for the log, empty when there is none.
HistoryStart LoadEnduranceStart(const std::string& folder, std::int64_t percentageUsed,
                                const CivilDate& today, std::string* problem = nullptr);

// Records the endurance indicator `percentageUsed` for `date`'s day, month and year in
// `folder` (created when missing), first starting the history with LoadEnduranceStart.
// False, writing nothing, when the folder holds an erase-count history or a file could not
// be read or written; `problem` (may be null) then says why, and otherwise gets the start
// record's note for the log (empty when there is none).
bool RecordEndurance(const std::string& folder, const CivilDate& date, std::int64_t percentageUsed,
                     std::string* problem = nullptr);

// The logo button's sample files, written into home + "data/" itself (never into a drive's
// history folder), each replaced whole: for every year 2014 .. `year` and month, a day file
// with 101 - d for each day d; the month file of `year` with 100, 98, .. 78; and
// "record.dat" with `year` = 40 down to `year` - 11 = 18.
void WriteSampleHistory(const std::string& home, int year);

// Gives a sample drive of the demo machine about a year of history ending `today`: a start
// record dated a year back, daily lines for every day since, month and year lines, with an
// erase count that grows from about half of `attr167Raw` to `attr167Raw`. Does nothing
// (false) when the folder already holds a start record, so a history is never overwritten.
// Only for the simulated demo drives; never call it for a real disk.
bool WriteDemoHistory(const std::string& folder, std::uint64_t attr167Raw, const CivilDate& today);

}  // namespace ds
