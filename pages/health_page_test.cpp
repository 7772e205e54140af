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

std::string Read(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, kMaxTextFileBytes, &text, nullptr))
    return "<missing>";
  return text;
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string Point(int year, int monthFromZero, int day, int health) {
  return "{x: new Date(" + std::to_string(year) + ", " + std::to_string(monthFromZero) + ", " +
         std::to_string(day) + "), y: " + std::to_string(health) +
         ", indexLabel: \"\", markerType: \"circle\",  markerColor: \"#03508D\", markerSize: 12},";
}

TEST(ComputeHealth, TextBarAndColourFollowTheEraseCount) {
  struct Case {
    std::int64_t e, l;
    const char* text;
    int percent;
    const char* color;
  };
  const Case cases[] = {
      {1000, 3000, " 66.67", 66, "#5FA1CE"}, {2400, 3000, " 20.00", 20, "#C12000"},
      {3000, 3000, "0", 0, "#C12000"},       {4000, 3000, "0", 0, "#C12000"},
      {0, 3000, "100", 100, "#03508D"},      {1, 3000, " 99.97", 99, "#03508D"},
      {599, 3000, " 80.03", 80, "#5FA1CE"},  {570, 3000, " 81.00", 81, "#03508D"},
      {1200, 3000, " 60.00", 60, "#AAC6DF"}, {1170, 3000, " 61.00", 61, "#5FA1CE"},
      {1800, 3000, " 40.00", 40, "#DAA2A4"}, {1770, 3000, " 41.00", 41, "#AAC6DF"},
      {2370, 3000, " 21.00", 21, "#DAA2A4"}, {2999, 3000, "  0.03", 0, "#C12000"},
      {-1, 3000, "0", 0, "#C12000"},  // a wrapped 64-bit raw value
      {500, 0, "---", 0, "#03508D"},         {0, -7, "---", 0, "#03508D"},
  };
  for (const Case& c : cases) {
    const HealthFigures figures = ComputeHealth(c.e, c.l);
    EXPECT_EQ(figures.text, c.text) << "E=" << c.e << " L=" << c.l;
    EXPECT_EQ(figures.percent, c.percent) << "E=" << c.e << " L=" << c.l;
    EXPECT_EQ(figures.color, c.color) << "E=" << c.e << " L=" << c.l;
  }
}

TEST(ComputeLifespan, ExtrapolatesTheGrowthSinceTheStartDate) {
  struct Case {
    const char* label;
    std::int64_t e;
    std::int32_t e0;
    std::int64_t d, l;
    const char* years;
    const char* days;
  };
  const Case cases[] = {
      {"570 days", 150, 100, 10, 3000, "1", "205"},
      {"beyond five years", 101, 100, 10, 3000, "---", "---"},
      {"exactly five years", 1000, 0, 1825, 2000, "5", "0"},
      {"one day past five years", 1000, 0, 1826, 2000, "---", "---"},
      {"no growth", 100, 100, 10, 3000, "---", "---"},
      {"count fell", 90, 100, 10, 3000, "---", "---"},
      {"start day", 150, 100, 0, 3000, "---", "---"},
      {"clock before the start", 150, 100, -3, 3000, "---", "---"},
      {"growth reaches the limit", 3100, 100, 10, 3000, "0", "0"},
      {"past the limit", 3100, 2000, 10, 3000, "---", "---"},
      {"no limit", 150, 100, 10, 0, "---", "---"},
      {"negative limit", 150, 100, 10, -1, "---", "---"},
      {"count beyond 32 bits", (1LL << 32) + 50, 100, 10, 3000, "---", "---"},
      {"fraction truncated", 102, 100, 1, 1001, "1", "84"},  // 449.5 days
  };
  for (const Case& c : cases) {
    const LifespanText lifespan = ComputeLifespan(c.e, c.e0, c.d, c.l);
    EXPECT_EQ(lifespan.years, c.years) << c.label;
    EXPECT_EQ(lifespan.days, c.days) << c.label;
  }
}

TEST(ChartHealth, TruncatesAndStaysWithinTheScale) {
  struct Case {
    const char* value;
    std::int64_t limit;
    int health;
  };
  const Case cases[] = {{"300", 3000, 90},  {"0", 3000, 100},    {"2999", 3000, 1},
                        {"3000", 3000, 0},  {"4000", 3000, 0},   {"-5", 3000, 100},
                        {"abc", 3000, 100}, {" 150x", 3000, 95}, {"99999999999999999999", 3000, 0},
                        {"29", 3000, 100},  {"31", 3000, 99},    {"300", 0, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(ChartHealth(c.value, c.limit), c.health) << c.value << " / " << c.limit;
}

class HealthChartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() + "data");
    folder_ = HistoryFolder(home_.path(), "M", "S");
    std::filesystem::create_directory(folder_);
  }
  std::string Points(int type, CivilDate today, int* count, std::int64_t limit = 3000) {
    return HealthChartPoints(folder_, type, today, limit, count);
  }
  TempFolder home_;
  std::string folder_;
};

TEST_F(HealthChartTest, DaysOfThisMonthUpToToday) {
  Write(folder_ + "record_2016_3.dat",
        "2016_3_7=300\r\n2016_3_1=0\r\n2016_3_3=\r\n2016_3_8=600\r\n2016_3_2=30\r\n");
  int count = 0;
  EXPECT_EQ(Points(0, {2016, 3, 7}, &count),
            Point(2016, 2, 1, 100) + Point(2016, 2, 2, 99) + Point(2016, 2, 7, 90));
  EXPECT_EQ(count, 3);
  // On the first of the month only day 1 is read.
  EXPECT_EQ(Points(0, {2016, 3, 1}, &count), Point(2016, 2, 1, 100));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(Points(0, {2016, 4, 30}, &count), "");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Points(0, {2016, 3, 7}, &count, 0), "");
}

TEST_F(HealthChartTest, MonthsAndYearsInAscendingOrder) {
  Write(folder_ + "record_2016.dat", "2016_5=1500\r\n2016_2=300\r\n2016_12=3000\r\n");
  Write(folder_ + "record.dat", "2016=600\r\n2010=0\r\n2011=300\r\n2017=900\r\n");
  int count = 0;
  EXPECT_EQ(Points(1, {2016, 3, 7}, &count),
            Point(2016, 1, 1, 90) + Point(2016, 4, 1, 50) + Point(2016, 11, 1, 0));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Points(2, {2016, 3, 7}, &count), Point(2011, 0, 1, 90) + Point(2016, 0, 1, 80));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(Points(2, {2010, 3, 7}, &count), "");
}

// A template that shows every placeholder between markers, in the page's order.
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
    input_.driveCount = 1;
    input_.model = "  QRA-X50 ";
    input_.serial = "SN1";
    input_.powerOnHours = 1234;
    input_.powerCycles = 56;
    input_.attr167Raw = 150;
    input_.modelSeries = 0;
    input_.peCycleLimit = 3000;
    input_.active_rec = 1;
    input_.health_display_type = 1;
    input_.today = {2016, 3, 11};
    folder_ = home_.path() + "data/QRA-X50_SN1/";
    std::filesystem::create_directory(folder_);
    Write(folder_ + "record_init.dat",
          "start_date_year=2016\nstart_date_month=3\nstart_date_day=1\navg_erase_count=100\n");
  }
  std::string Page(int type) {
    std::string page = Read(home_.path() + "data/HealthPage_" + std::to_string(type) + ".html");
    return page.substr(0, page.find('{'));
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

TEST_F(HealthPageTest, WritesThreePagesWithTheirOwnDisplayFields) {
  Write(folder_ + "record_2016_3.dat", "2016_3_1=100\r\n2016_3_2=120\r\n");
  EXPECT_EQ(Build(), "HealthPage_1.html");
  EXPECT_EQ(start_.avg_erase_count, 100);
  // E = 150, E0 = 100, D = 10: N = 10 * 2850 / 50 = 570 days.
  EXPECT_EQ(Page(0),
            "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=0|selected|||"
            "DD/MMM/YYYY|1|205|#03508D|day|interval: 1,]");
  EXPECT_EQ(Page(1),
            "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=1||selected||"
            "MMM/YYYY|1|205|#03508D|month|interval: 1,]");
  EXPECT_EQ(Page(2),
            "<html>[1234|56|150| 95.00|95|5|CHECKED|health_display_type=2|||selected|"
            "YYYY|1|205|#03508D|year|interval: 1,]");
  EXPECT_NE(Read(home_.path() + "data/HealthPage_0.html").find(Point(2016, 2, 2, 96)),
            std::string::npos);
}

TEST_F(HealthPageTest, FourDailyPointsDropTheFixedIntervalOnTheDayPageOnly) {
  Write(folder_ + "record_2016_3.dat", "2016_3_1=1\r\n2016_3_2=2\r\n2016_3_3=3\r\n2016_3_4=4\r\n");
  input_.active_rec = 0;
  Build();
  EXPECT_TRUE(Page(0).ends_with("|day|]")) << Page(0);
  EXPECT_NE(Page(0).find("|56|150| 95.00|95|5||health"), std::string::npos);
  EXPECT_TRUE(Page(1).ends_with("|month|interval: 1,]")) << Page(1);
}

TEST_F(HealthPageTest, OtherSeriesShowNoFiguresAndNoChart) {
  Write(folder_ + "record_2016_3.dat", "2016_3_1=100\r\n");
  input_.modelSeries = 1;
  input_.attr167Raw = 2400;
  Build();
  EXPECT_EQ(Read(home_.path() + "data/HealthPage_0.html"),
            "<html>[1234|56|---|---|0|100|CHECKED|health_display_type=0|selected|||"
            "DD/MMM/YYYY|---|---|#C12000|day|]{}</html>");
}

TEST_F(HealthPageTest, NoLimitShowsDashesAndNoChart) {
  Write(folder_ + "record_2016_3.dat", "2016_3_1=100\r\n");
  input_.peCycleLimit = 0;
  Build();
  EXPECT_EQ(Read(home_.path() + "data/HealthPage_1.html"),
            "<html>[1234|56|150|---|0|100|CHECKED|health_display_type=1||selected||"
            "MMM/YYYY|---|---|#03508D|month|interval: 1,]{}</html>");
}

TEST_F(HealthPageTest, StalePagesGoEvenWhenNothingIsBuilt) {
  struct Case {
    const char* label;
    int driveCount;
    bool templatePresent;
    int displayType;
    const char* result;
    bool pagesWritten;
  };
  const Case cases[] = {
      {"normal", 1, true, 2, "HealthPage_2.html", true},
      {"display type out of range", 1, true, 7, "", true},
      {"no drive", 0, true, 0, "", false},
      {"no template", 1, false, 0, "", false},
  };
  for (const Case& c : cases) {
    for (int n : {0, 1, 2, 25})
      Write(home_.path() + "data/HealthPage_" + std::to_string(n) + ".html", "old");
    if (!c.templatePresent)
      std::filesystem::remove(home_.path() + "data/template/HealthPage.tmp");
    input_.driveCount = c.driveCount;
    input_.health_display_type = c.displayType;
    EXPECT_EQ(Build(), c.result) << c.label;
    EXPECT_FALSE(FileExists(home_.path() + "data/HealthPage_25.html")) << c.label;
    for (int n = 0; n < 3; ++n) {
      EXPECT_EQ(FileExists(home_.path() + "data/HealthPage_" + std::to_string(n) + ".html"),
                c.pagesWritten)
          << c.label << " page " << n;
    }
    Write(home_.path() + "data/template/HealthPage.tmp", kProbeTemplate);
  }
  // Without a drive no history folder named "_" appears.
  EXPECT_FALSE(std::filesystem::exists(home_.path() + "data/_"));
}

TEST_F(HealthPageTest, FirstBuildStartsTheHistoryToday) {
  std::filesystem::remove_all(folder_);
  Build();
  EXPECT_EQ(start_.date(), input_.today);
  EXPECT_EQ(start_.avg_erase_count, 150);
  EXPECT_TRUE(FileExists(folder_ + "record_init.dat"));
  EXPECT_NE(Page(1).find("|---|---|"), std::string::npos);  // D = 0: no lifespan yet
}

TEST_F(HealthPageTest, DeliveredTemplateTakesEveryPlaceholder) {
  std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/HealthPage.tmp",
                             home_.path() + "data/template/HealthPage.tmp",
                             std::filesystem::copy_options::overwrite_existing);
  Write(folder_ + "record_2016_3.dat", "2016_3_1=100\r\n2016_3_2=120\r\n");
  ASSERT_EQ(Build(), "HealthPage_1.html");
  for (int t = 0; t < 3; ++t) {
    const std::string page = Read(home_.path() + "data/HealthPage_" + std::to_string(t) + ".html");
    EXPECT_EQ(page.find("STR_"), std::string::npos) << t;
    EXPECT_EQ(page.substr(page.size() - 7), "</html>") << t;
    EXPECT_NE(page.find("dsStoreInputItem(\"health_display_type=" + std::to_string(t) + "\")"),
              std::string::npos);
    EXPECT_NE(page.find("id=\"rec\" CHECKED"), std::string::npos);
  }
  EXPECT_NE(Read(home_.path() + "data/HealthPage_0.html").find(Point(2016, 2, 2, 96)),
            std::string::npos);
}

}  // namespace
}  // namespace ds
