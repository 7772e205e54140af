#include "pages/health_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/file_system.h"
#include "store/history_folder.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Point(int year, int monthFromZero, int day, int health) {
  return "{x: new Date(" + std::to_string(year) + ", " + std::to_string(monthFromZero) + ", " +
         std::to_string(day) + "), y: " + std::to_string(health) +
         ", indexLabel: \"\", markerType: \"circle\",  markerColor: \"#03508D\", markerSize: 12},";
}

TEST(ChartHealth, TruncatesAndStaysWithinTheScale) {
  const std::tuple<const char*, std::int64_t, int> cases[] = {
      {"300", 3000, 90},  {"2999", 3000, 1},   {"3000", 3000, 0},
      {"abc", 3000, 100}, {" 150x", 3000, 95}, {"99999999999999999999", 3000, 0},
      {"29", 3000, 100},  {"31", 3000, 99},    {"300", 0, 0}};
  for (const auto& [value, limit, health] : cases)
    EXPECT_EQ(ChartHealth(value, limit), health) << value << " / " << limit;
}

TEST(HealthChartPoints, DaysOfThisMonthMonthsAndYearsInAscendingOrder) {
  TempFolder home;
  const std::string folder = HistoryFolder(home.path(), "M", "S");
  std::filesystem::create_directories(folder);
  Write(folder + "record_2016_3.dat",
        "2016_3_7=300\r\n2016_3_1=0\r\n2016_3_3=\r\n2016_3_8=600\r\n2016_3_2=30\r\n");
  Write(folder + "record_2016.dat", "2016_5=1500\r\n2016_2=300\r\n2016_12=3000\r\n");
  Write(folder + "record.dat", "2016=600\r\n2010=0\r\n2011=300\r\n2017=900\r\n");
  // Display type, today, limit, chart points, their count.
  const std::tuple<int, CivilDate, std::int64_t, std::string, int> cases[] = {
      // clang-format off
      {0, {2016, 3, 7}, 3000, Point(2016, 2, 1, 100) + Point(2016, 2, 2, 99) + Point(2016, 2, 7, 90), 3},
      {0, {2016, 3, 1}, 3000, Point(2016, 2, 1, 100), 1},  // on the 1st only day 1 is read
      {0, {2016, 4, 30}, 3000, "", 0},
      {0, {2016, 3, 7}, 0, "", 0},
      {1, {2016, 3, 7}, 3000, Point(2016, 1, 1, 90) + Point(2016, 4, 1, 50) + Point(2016, 11, 1, 0), 3},
      {2, {2016, 3, 7}, 3000, Point(2011, 0, 1, 90) + Point(2016, 0, 1, 80), 2},
      {2, {2010, 3, 7}, 3000, "", 0},
      // clang-format on
  };
  for (const auto& [type, today, limit, points, expectedCount] : cases) {
    int count = -1;
    EXPECT_EQ(HealthChartPoints(folder, type, today, limit, &count), points) << type;
    EXPECT_EQ(count, expectedCount) << type;
  }
}

// Every placeholder between markers, in the page's order.
constexpr const char* kProbeTemplate =
    "<html>[STR_PWR_ON_HRS|STR_PWR_CYCLE_COUNT|STR_AVG_ERASE_COUNT|STR_HEALTH_PERCENTAGE|"
    "STR_LINE_1_HEALTH_PERCENTAGE|STR_LINE_2_HEALTH_PERCENTAGE|STR_CHK_ACTIVE_REC|"
    "STR_COOKIE_DISPLAY_TYPE|STR_COOKIE_DD_DISPLAY_TYPE|STR_COOKIE_MM_DISPLAY_TYPE|"
    "STR_COOKIE_YY_DISPLAY_TYPE|STR_DATE_DISPLAY_TYPE|STR_LIFESPAN_YEARS|STR_LIFESPAN_DAYS|"
    "STR_LEFTSPAN_BAR_COLOR|STR_INTERVALTYPE|STR_INTERVALVALUE]{STR_DATA_POINT}</html>";

class HealthPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() + "data/template");
    Write(home_.path() + "data/template/HealthPage.tmp", kProbeTemplate);
    input_ = {.driveCount = 1,
              .model = "  QRA-X50 ",
              .serial = "SN1",
              .powerOnHours = 1234,
              .powerCycles = 56,
              .attr167Raw = 150,
              .modelSeries = 0,
              .peCycleLimit = 3000,
              .active_rec = 1,
              .health_display_type = 1,
              .today = {2016, 3, 11}};
    folder_ = home_.path() + "data/QRA-X50_SN1/";
    std::filesystem::create_directory(folder_);
    Write(folder_ + "record_init.dat",
          "start_date_year=2016\nstart_date_month=3\nstart_date_day=1\navg_erase_count=100\n");
  }
  std::string Page(int type) {
    return ReadTextFile(home_.path() + "data/HealthPage_" + std::to_string(type) + ".html");
  }
  std::string Build() {
    std::string message;
    return BuildHealthPage(ProgramRoots(home_.path()), input_, &start_, &message).value_or("");
  }

  TempFolder home_;
  HealthPageInput input_;
  HistoryStart start_;
  std::string folder_;
};

TEST_F(HealthPageTest, PagesShowTheFiguresOfTheirDisplayType) {
  const std::string twoDays = "2016_3_1=100\r\n2016_3_2=120\r\n",
                    fourDays = "2016_3_1=1\r\n2016_3_2=2\r\n2016_3_3=3\r\n2016_3_4=4\r\n";
  const struct {
    const char* label;
    std::string records;
    int series, limit, activeRec, page;
    std::string fields;  // the page up to the chart points
  } cases[] = {
      // clang-format off
      // E = 150, E0 = 100, D = 10: N = 10 * 2850 / 50 = 570 days.
      {"days", twoDays, 0, 3000, 1, 0, "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=0|selected|||DD/MMM/YYYY|1|205|#03508D|day|interval: 1,]"},
      {"months", twoDays, 0, 3000, 1, 1, "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=1||selected||MMM/YYYY|1|205|#03508D|month|interval: 1,]"},
      {"years", twoDays, 0, 3000, 1, 2, "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=2|||selected|YYYY|1|205|#03508D|year|interval: 1,]"},
      // Four daily points drop the fixed interval on the day page only.
      {"four days", fourDays, 0, 3000, 0, 0, "<html>[1234|56|150| 95.00|95|5||health_display_type=0|selected|||DD/MMM/YYYY|1|205|#03508D|day|]"},
      {"four days, months", fourDays, 0, 3000, 0, 1, "<html>[1234|56|150| 95.00|95|5||health_display_type=1||selected||MMM/YYYY|1|205|#03508D|month|interval: 1,]"},
      // Other series and a missing limit show no figures and no chart.
      {"other series", "2016_3_1=100\r\n", 1, 3000, 1, 0, "<html>[1234|56|---|---|0|100|CHECKED|health_display_type=0|selected|||DD/MMM/YYYY|---|---|#C12000|day|]{}</html>"},
      {"no limit", "2016_3_1=100\r\n", 0, 0, 1, 1, "<html>[1234|56|150|---|0|100|CHECKED|health_display_type=1||selected||MMM/YYYY|---|---|#03508D|month|interval: 1,]{}</html>"},
      // clang-format on
  };
  for (const auto& c : cases) {
    Write(folder_ + "record_2016_3.dat", c.records);
    input_.modelSeries = c.series, input_.attr167Raw = c.series == 0 ? 150 : 2400;
    input_.peCycleLimit = c.limit, input_.active_rec = c.activeRec;
    EXPECT_EQ(Build(), "HealthPage_1.html") << c.label;
    EXPECT_EQ(start_.avg_erase_count, 100) << c.label;
    const std::string page = Page(c.page);
    EXPECT_EQ(c.fields.ends_with("</html>") ? page : page.substr(0, page.find('{')), c.fields)
        << c.label;
  }
}

TEST_F(HealthPageTest, StalePagesGoEvenWhenNothingIsBuilt) {
  // What, drives, template present, display type, result, pages written.
  const std::tuple<const char*, int, bool, int, const char*, bool> cases[] = {
      {"normal", 1, true, 2, "HealthPage_2.html", true},
      {"display type out of range", 1, true, 7, "", true},
      {"no drive", 0, true, 0, "", false},
      {"no template", 1, false, 0, "", false},
  };
  for (const auto& [what, drives, present, type, result, written] : cases) {
    for (int n : {0, 1, 2, 25})
      Write(home_.path() + "data/HealthPage_" + std::to_string(n) + ".html", "old");
    if (!present)
      std::filesystem::remove(home_.path() + "data/template/HealthPage.tmp");
    input_.driveCount = drives, input_.health_display_type = type;
    EXPECT_EQ(Build(), result) << what;
    for (int n : {0, 1, 2, 25})
      EXPECT_EQ(FileExists(home_.path() + "data/HealthPage_" + std::to_string(n) + ".html"),
                written && n < 3)
          << what << " page " << n;
    Write(home_.path() + "data/template/HealthPage.tmp", kProbeTemplate);
  }
  EXPECT_FALSE(std::filesystem::exists(home_.path() + "data/_"));  // no drive: no folder "_"
}

TEST_F(HealthPageTest, FirstBuildStartsTheHistoryToday) {
  std::filesystem::remove_all(folder_);
  Build();
  EXPECT_EQ(std::tuple(start_.date(), start_.avg_erase_count), std::tuple(input_.today, 150));
  EXPECT_TRUE(FileExists(folder_ + "record_init.dat"));
  EXPECT_NE(Page(1).find("|---|---|"), std::string::npos);  // D = 0: no lifespan yet
}

// A disk measured by its endurance indicator: its own start record, texts and chart; the
// lifespan only once the indicator grew by 2 points over 30 days (today is 2016-03-11).
TEST_F(HealthPageTest, EnduranceDiskShowsItsIndicatorAndItsOwnHistory) {
  Write(home_.path() + "data/template/HealthPage.tmp",
        "[STR_AVG_ERASE_COUNT|STR_HEALTH_PERCENTAGE|STR_LIFESPAN_YEARS|STR_LIFESPAN_DAYS|"
        "STR_WEAR_LABEL|STR_CHART_LABEL]{STR_DATA_POINT}</html>");
  Write(folder_ + "record_2016_3.dat", "2016_3_1=5\r\n2016_3_11=25\r\n");
  const std::string rest = "|Percentage used|Percentage used (%)]{" + Point(2016, 2, 1, 5) +
                           Point(2016, 2, 11, 25) + "}</html>";
  // The start record (month, day, percentage used; empty: the set-up's erase-count one).
  const std::tuple<const char*, std::string, int, std::string> cases[] = {
      {"an erase-count start goes aside", "", 25, "[25|75|---|---"},
      {"2 points in 10 days", "3\nstart_date_day=1\npercentage_used=23", 25, "[25|75|---|---"},
      {"1 point in 39 days", "2\nstart_date_day=1\npercentage_used=24", 25, "[25|75|---|---"},
      {"40 * 75 / 20 days", "1\nstart_date_day=31\npercentage_used=5", 25, "[25|75|0|150"},
      {"worn out", "1\nstart_date_day=31\npercentage_used=5", 120, "[120|0|0|0"},
  };
  for (const auto& [label, record, used, fields] : cases) {
    if (!record.empty())
      Write(folder_ + "record_init.dat",
            "source=endurance\nstart_date_year=2016\nstart_date_month=" + record + "\n");
    input_.modelSeries = 99, input_.percentageUsed = used;
    EXPECT_EQ(Build(), "HealthPage_1.html") << label;
    EXPECT_TRUE(start_.isEndurance()) << label;
    EXPECT_EQ(Page(0), fields + rest) << label;
  }
}

}  // namespace
}  // namespace ds
