#include "store/history_records.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "store/history_folder.h"
#include "tests/temp_folder.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The inode tells whether a file was replaced, even by identical text.
ino_t Inode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void RecordPass(const std::string& folder, CivilDate date, std::uint64_t value) {
  EXPECT_TRUE(RecordYear(folder, date.year, value));
  EXPECT_TRUE(RecordMonth(folder, date.year, date.month, value));
  EXPECT_TRUE(RecordDay(folder, date.year, date.month, date.day, value));
}

class HistoryRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(home_.path() + "data");
    folder_ = HistoryFolder(home_.path(), "QRA-X50 128GB ", " SN0001");
    std::filesystem::create_directory(folder_);
  }
  std::string File(const std::string& name) const { return folder_ + name; }

  TempFolder home_;
  std::string folder_;
};

TEST_F(HistoryRecordsTest, MarchSequenceCreatesKeepsRewritesAndAppends) {
  RecordPass(folder_, {2016, 3, 7}, 152);
  EXPECT_EQ(ReadTextFile(File("record.dat")), "2016=152\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016.dat")), "2016_3=152\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=152\r\n");

  // The same value on the same day changes nothing, not even the file's identity.
  const auto inodes = std::pair(Inode(File("record_2016_3.dat")), Inode(File("record.dat")));
  RecordPass(folder_, {2016, 3, 7}, 152);
  EXPECT_EQ(std::pair(Inode(File("record_2016_3.dat")), Inode(File("record.dat"))), inodes);

  // A changed value replaces the line in place; other lines stay as they were.
  Write(File("record.dat"), "2015=99\r\n2016=152\r\n2017=7\r\n");
  RecordPass(folder_, {2016, 3, 7}, 153);
  EXPECT_EQ(ReadTextFile(File("record.dat")), "2015=99\r\n2016=153\r\n2017=7\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016.dat")), "2016_3=153\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=153\r\n");

  // The next day appends its line; month and year lines follow the value.
  RecordPass(folder_, {2016, 3, 8}, 160);
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=153\r\n2016_3_8=160\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016.dat")), "2016_3=160\r\n");
  EXPECT_EQ(ReadTextFile(File("record.dat")), "2015=99\r\n2016=160\r\n2017=7\r\n");

  // A new month starts its own file and appends to the year file.
  RecordPass(folder_, {2016, 4, 1}, 161);
  EXPECT_EQ(ReadTextFile(File("record_2016_4.dat")), "2016_4_1=161\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2016.dat")), "2016_3=160\r\n2016_4=161\r\n");
}

TEST_F(HistoryRecordsTest, ValuesBeyondThirtyTwoBitsAreAlwaysRewrittenWithTheFullValue) {
  const std::uint64_t big = 4294967296ULL + 5;  // 2^32 + 5
  RecordPass(folder_, {2016, 3, 7}, big);
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=4294967301\r\n");
  const ino_t before = Inode(File("record_2016_3.dat"));
  RecordDay(folder_, 2016, 3, 7, big);
  EXPECT_NE(Inode(File("record_2016_3.dat")), before);
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=4294967301\r\n");

  // The largest 32-bit value still compares equal.
  RecordDay(folder_, 2016, 3, 8, 4294967295ULL);
  const ino_t kept = Inode(File("record_2016_3.dat"));
  RecordDay(folder_, 2016, 3, 8, 4294967295ULL);
  EXPECT_EQ(Inode(File("record_2016_3.dat")), kept);
}

TEST_F(HistoryRecordsTest, OddExistingFilesAreRepairedNotMangled) {
  // The file before, and after 2016_3_7=9 is recorded.
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"2016_3_1=5", "2016_3_1=5\r\n2016_3_7=9\r\n"},  // last line without its end
      {"2016_3_7=1\n2016_3_8=2\n", "2016_3_7=9\n2016_3_8=2\n"},  // LF-only lines keep their ends
      {"2016_3_7=\r\n2016_3_8=2\r\n", "2016_3_7=9\r\n2016_3_8=2\r\n"},  // empty value filled in place
      {"  2016_3_7 = 4\r\n", "2016_3_7=9\r\n"},  // key with blanks
      {"2016_3_71=4\r\n12016_3_7=4\r\n", "2016_3_71=4\r\n12016_3_7=4\r\n2016_3_7=9\r\n"},  // similar keys
      {"", "2016_3_7=9\r\n"},
  };
  // clang-format on
  for (const auto& [before, after] : cases) {
    Write(File("record_2016_3.dat"), before);
    EXPECT_TRUE(RecordDay(folder_, 2016, 3, 7, 9)) << before;
    EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), after) << before;
  }
}

TEST_F(HistoryRecordsTest, CrashBetweenWriteAndRenameLeavesTheOldFile) {
  RecordPass(folder_, {2016, 3, 7}, 152);
  // What a crash after writing the temporary file and before the rename leaves behind:
  // the complete old file and a stray, partly written sibling.
  const std::string stray = File("record_2016_3.dat.tmp-4242-0000beef");
  Write(stray, "2016_3_7=15");
  EXPECT_EQ(ReadKeyValueFile(File("record_2016_3.dat")).lookup("2016_3_7"), "152");
  // The next pass works on the intact file and is not confused by the stray one.
  RecordPass(folder_, {2016, 3, 7}, 153);
  EXPECT_EQ(ReadTextFile(File("record_2016_3.dat")), "2016_3_7=153\r\n");
}

TEST_F(HistoryRecordsTest, StartRecordIsCreatedKeptOrReplaced) {
  const HistoryStart fresh{2016, 3, 7, 152};
  // Label, the file, the start loaded, whether the file is written anew.
  // clang-format off
  const std::tuple<const char*, const char*, HistoryStart, bool> cases[] = {
      {"valid record", "start_date_year=2015\r\nstart_date_month=12\r\nstart_date_day=31\r\navg_erase_count=90\r\n", {2015, 12, 31, 90}, false},
      {"zero month", "start_date_year=2015\nstart_date_month=0\nstart_date_day=3\navg_erase_count=90\n", fresh, true},
      {"missing day", "start_date_year=2015\nstart_date_month=2\navg_erase_count=90\n", fresh, true},
      {"missing count", "start_date_year=2015\nstart_date_month=2\nstart_date_day=3\n", fresh, true},
      {"count -1", "start_date_year=2015\nstart_date_month=2\nstart_date_day=3\navg_erase_count=-1\n", fresh, true},
      {"no calendar day", "start_date_year=2015\nstart_date_month=2\nstart_date_day=30\navg_erase_count=5\n", fresh, true},
      {"count zero is valid", "start_date_year=2015\nstart_date_month=2\nstart_date_day=3\navg_erase_count=0\n", {2015, 2, 3, 0}, false},
      {"leading-integer values", "start_date_year= 2014x\nstart_date_month=6 \nstart_date_day=+9\navg_erase_count=12abc\n", {2014, 6, 9, 12}, false},
  };
  // clang-format on
  for (const auto& [label, file, expected, rewritten] : cases) {
    std::filesystem::remove_all(folder_), std::filesystem::create_directory(folder_);
    Write(File(kHistoryStartFile), file);
    std::string problem, kept;  // a replaced record is kept beside the new one, and told
    const HistoryStart start = LoadHistoryStart(folder_, 152, {2016, 3, 7}, &problem);
    for (const auto& entry : std::filesystem::directory_iterator(folder_))
      kept += entry.path().filename() == kHistoryStartFile ? "" : ReadTextFile(entry.path());
    const bool told =
        problem.find("kept as " + File(kHistoryStartFile) + ".unreadable-") != std::string::npos;
    EXPECT_EQ(std::tuple(kept, told), std::tuple(rewritten ? file : "", rewritten)) << label;
    EXPECT_EQ(start.date(), expected.date()) << label;
    EXPECT_EQ(start.avg_erase_count, expected.avg_erase_count) << label;
    EXPECT_EQ(ReadTextFile(File(kHistoryStartFile)),
              rewritten ? "start_date_year=2016\r\nstart_date_month=3\r\nstart_date_day=7\r\n"
                          "avg_erase_count=152\r\n"
                        : file)
        << label;
  }
}

TEST_F(HistoryRecordsTest, StartRecordKeepsTheFullCountButHoldsItsLow32Bits) {
  const std::uint64_t big = (7ULL << 32) + 1000;
  const HistoryStart start = LoadHistoryStart(folder_, big, {2020, 1, 2});
  EXPECT_EQ(start.avg_erase_count, 1000);
  EXPECT_NE(ReadTextFile(File(kHistoryStartFile)).find("avg_erase_count=30064772072\r\n"),
            std::string::npos);
}

// Only loading the start record creates a folder, and only its last level.
TEST_F(HistoryRecordsTest, OnlyLoadingTheStartRecordCreatesAFolder) {
  const std::string folder = HistoryFolder(home_.path(), "", ""), deeper = home_.path() + "x/y/";
  HistoryStart start;
  EXPECT_FALSE(ReadHistoryStart(folder, &start));
  EXPECT_FALSE(RecordYear(folder, 2016, 1) || RecordDay(folder, 2016, 3, 7, 1));
  EXPECT_FALSE(std::filesystem::exists(folder));
  LoadHistoryStart(folder, 42, {2016, 3, 7});
  EXPECT_TRUE(ReadHistoryStart(folder, &start));
  std::string problem;
  EXPECT_EQ(LoadHistoryStart(deeper, 1, {2016, 3, 7}, &problem).date(), (CivilDate{2016, 3, 7}));
  EXPECT_EQ(problem.rfind("cannot write the history file " + deeper + "record_init.dat: ", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(deeper));
}

// An endurance history keeps percentages under its own start key; neither writer adds to
// the other source's folder.
TEST_F(HistoryRecordsTest, EnduranceHistoryIsKeptApartFromTheEraseCount) {
  std::string problem;
  EXPECT_TRUE(RecordEndurance(folder_, {2026, 3, 7}, 7, &problem)) << problem;
  EXPECT_TRUE(RecordEndurance(folder_, {2026, 3, 8}, 8));
  EXPECT_EQ(ReadTextFile(File(kHistoryStartFile)),
            "start_date_year=2026\r\nstart_date_month=3\r\nstart_date_day=7\r\n"
            "percentage_used=7\r\nsource=endurance\r\n");
  EXPECT_EQ(ReadTextFile(File("record_2026_3.dat")), "2026_3_7=7\r\n2026_3_8=8\r\n");
  EXPECT_EQ(ReadTextFile(File("record.dat")), "2026=8\r\n");
  HistoryStart start;
  EXPECT_TRUE(ReadHistoryStart(folder_, &start));
  EXPECT_EQ(std::tuple(start.isEndurance(), start.percentage_used), std::tuple(true, 7));
  // The erase-count writers leave it alone, and its start record stays.
  EXPECT_FALSE(RecordDay(folder_, 2026, 3, 9, 500, &problem));
  EXPECT_NE(problem.find("history of the endurance indicator"), std::string::npos) << problem;
  EXPECT_TRUE(LoadHistoryStart(folder_, 500, {2026, 3, 9}).isEndurance());
  EXPECT_EQ(ReadTextFile(File("record_2026_3.dat")), "2026_3_7=7\r\n2026_3_8=8\r\n");
  // The endurance writer takes over an erase-count start record without dated values...
  std::filesystem::remove_all(folder_);
  LoadHistoryStart(folder_, 0, {2026, 3, 7});
  EXPECT_TRUE(RecordEndurance(folder_, {2026, 3, 8}, 8, &problem));
  EXPECT_NE(problem.find("held no history; it is kept as"), std::string::npos) << problem;
  // ...but leaves a real erase-count history alone.
  std::filesystem::remove_all(folder_);
  LoadHistoryStart(folder_, 500, {2026, 3, 7});
  RecordYear(folder_, 2026, 500);
  EXPECT_FALSE(RecordEndurance(folder_, {2026, 3, 8}, 8, &problem));
  EXPECT_NE(problem.find("history of the erase count"), std::string::npos) << problem;
  EXPECT_EQ(ReadTextFile(File("record.dat")), "2026=500\r\n");
}

TEST(Calendar, GregorianMonthLengthsAndDayNumbers) {
  const int months[][3] = {{1900, 2, 28}, {2000, 2, 29},  {2016, 2, 29}, {2015, 2, 28},
                           {2100, 2, 28}, {2400, 2, 29},  {2015, 4, 30}, {2015, 6, 30},
                           {2015, 9, 30}, {2015, 11, 30}, {2015, 1, 31}, {2015, 12, 31}};
  for (const auto& [year, month, days] : months)
    EXPECT_EQ(DaysInMonth(year, month), days) << year << "-" << month;
  EXPECT_EQ(DayNumber({2016, 3, 1}) - DayNumber({2016, 2, 28}), 2);  // 366-day year: the export
  for (std::int64_t n = DayNumber({1999, 12, 1}); n < DayNumber({2001, 3, 5}); ++n) {
    ASSERT_TRUE(IsValidDate(DateOfDayNumber(n))) << n;
    ASSERT_EQ(DayNumber(DateOfDayNumber(n)), n);
  }
}

TEST(WriteSampleHistory, WritesTheSampleFilesFrom2014OnToTheYear) {
  TempFolder home;
  const std::string data = home.path() + "data/";
  std::filesystem::create_directory(data);
  WriteSampleHistory(home.path(), 2016);
  EXPECT_TRUE(FileExists(data + "record_2014_1.dat") && FileExists(data + "record_2016_12.dat"));
  EXPECT_FALSE(FileExists(data + "record_2013_12.dat") || FileExists(data + "record_2017_1.dat"));
  const auto keys = [&](const char* file) { return ReadKeyValueFile(data + file).keys().size(); };
  EXPECT_EQ(std::tuple(keys("record_2016_2.dat"), keys("record_2015_2.dat"), keys("record.dat")),
            std::tuple(29u, 28u, 12u));
  const std::pair<const char*, const char*> values[] = {
      {"record_2016_2.dat", "2016_2_1=100"}, {"record_2016_2.dat", "2016_2_29=72"},
      {"record_2014_1.dat", "2014_1_31=70"}, {"record_2016.dat", "2016_1=100\r\n2016_2=98"},
      {"record_2016.dat", "2016_12=78\r\n"}, {"record.dat", "2016=40\r\n2015=38\r\n"},
      {"record.dat", "\n2005=18\r\n"}};
  for (const auto& [file, text] : values)
    EXPECT_NE(ReadTextFile(data + file).find(text), std::string::npos) << file << ": " << text;
  WriteSampleHistory(home.path(), 2013);  // before 2014: no month files, only the year's
  EXPECT_EQ(keys("record_2013.dat"), 12u);
  EXPECT_FALSE(std::filesystem::exists(data + "record_2013_1.dat"));
}

// Days, counts and start: the export, health page and metrics tests; here the month/year files.
TEST_F(HistoryRecordsTest, DemoHistoryIsWrittenOnceAndNeverOver) {
  const std::string folder = HistoryFolder(home_.path(), "QRA-X50", "DEMO1");
  ASSERT_TRUE(WriteDemoHistory(folder, 1000, {2016, 3, 7}));
  EXPECT_EQ(ReadKeyValueFile(folder + "record_2015.dat").keys().size(), 10u);  // March .. December
  EXPECT_EQ(ReadKeyValueFile(folder + "record_2016.dat").lookup("2016_3"), "1000");
  EXPECT_EQ(ReadKeyValueFile(folder + "record.dat").lookup("2016"), "1000");
  RecordDay(folder, 2016, 3, 7, 1001);
  EXPECT_FALSE(WriteDemoHistory(folder, 5, {2016, 3, 7}));
  EXPECT_EQ(ReadKeyValueFile(folder + "record_2016_3.dat").lookup("2016_3_7"), "1001");
}

}  // namespace
}  // namespace ds
