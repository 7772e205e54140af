#include "store/selftest_schedule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace ds {
namespace {

// Local time is Central European (the rules of Europe/Berlin, written out so that no zone
// files are needed): 2026-03-29 02:00 does not exist, 2026-10-25 02:00 happens twice.
class SelfTestScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::getenv("TZ") ? std::getenv("TZ") : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1), tzset();
  }
  void TearDown() override {
    saved_.empty() ? unsetenv("TZ") : setenv("TZ", saved_.c_str(), 1), tzset();
  }

  static std::time_t Utc(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute;
    return timegm(&t);
  }

  // The local times of the passes (every 10 minutes from `from` to `to`) that ran a test.
  static std::vector<std::string> Runs(const char* text, std::time_t from, std::time_t to,
                                       std::time_t start, std::time_t handled) {
    std::string message;
    const auto rule = ParseSelfTestRule(text, &message);
    EXPECT_TRUE(rule) << message;
    std::vector<std::string> runs;
    for (std::time_t now = from; rule && now <= to; now += 600) {
      std::time_t due = 0;
      if (!SelfTestDue(*rule, now, start, handled, &due))
        continue;
      handled = due;
      std::tm local{};
      localtime_r(&now, &local);
      char text[32];
      std::strftime(text, sizeof text, "%m-%d %H:%M %Z", &local);
      runs.push_back(text);
    }
    return runs;
  }

  std::string saved_;  // "" when TZ was not set
};

TEST_F(SelfTestScheduleTest, ClockChangesCatchUpsAndShortMonths) {
  const std::time_t spring = Utc(2026, 3, 28, 22, 5), autumn = Utc(2026, 10, 24, 22, 5);
  const std::time_t week = 7 * 86400, offFrom = Utc(2026, 6, 24, 12, 0);
  struct Case {
    const char* rule;
    std::time_t from, to, start, handled;
    std::vector<std::string> runs;
  };
  const Case cases[] = {
      // 02:00 is skipped: the first pass after the jump runs it.
      {"weekly Sun 02",
       spring,
       spring + 8 * 3600,
       spring - week,
       spring - 86400,
       {"03-29 03:05 CEST"}},
      // 02:00-03:00 comes twice: the first one runs, the repeat does not.
      {"weekly sunday 2",
       autumn,
       autumn + 8 * 3600,
       autumn - week,
       autumn - 86400,
       {"10-25 02:05 CEST"}},
      // Off over two Sundays: one catch-up, 30 minutes after the start.
      {"weekly Sun 03",
       offFrom,
       offFrom + 2 * 86400,
       offFrom,
       Utc(2026, 6, 7, 1, 0),
       {"06-24 14:30 CEST"}},
      // A disk first seen on Wednesday has missed nothing.
      {"weekly Sun 03", offFrom, offFrom + 2 * 86400, offFrom, offFrom, {}},
      // June has no 31st: its last day stands in.
      {"monthly 31 04",
       Utc(2026, 6, 29, 0, 5),
       Utc(2026, 7, 1, 12, 0),
       offFrom - 30 * 86400,
       Utc(2026, 6, 9, 0, 0),
       {"06-30 04:05 CEST"}},
      {"MONTHLY 1 04",
       Utc(2026, 1, 31, 0, 5),
       Utc(2026, 2, 1, 12, 0),
       offFrom - week * 30,
       Utc(2026, 1, 9, 0, 0),
       {"02-01 04:05 CET"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Runs(c.rule, c.from, c.to, c.start, c.handled), c.runs) << c.rule;
}

TEST_F(SelfTestScheduleTest, ParsesTheConfigurationKeys) {
  SystemConfig config;
  config.selfTestShort = "weekly Sat 23", config.selfTestLong = "off";
  std::string why;
  SelfTestSchedule schedule = ScheduleFromConfig(config, &why);
  ASSERT_TRUE(schedule.shortTest);
  EXPECT_EQ(schedule.shortTest->day, 6);
  EXPECT_EQ(schedule.shortTest->hour, 23);
  EXPECT_FALSE(schedule.extendedTest);
  EXPECT_EQ(why, "");
  for (const char* bad : {"weekly Sun 24", "weekly Xyz 03", "monthly 0 04", "monthly 32 4",
                          "daily 03", "weekly Sun", "weekly Sun 03 x", "monthly 1 4h"}) {
    config.selfTestLong = bad;
    schedule = ScheduleFromConfig(config, &why);
    EXPECT_FALSE(schedule.extendedTest) << bad;
    EXPECT_EQ(why.substr(0, 17 + std::string_view(bad).size()),
              "SelfTest_Long: \"" + std::string(bad) + "\"");
  }
}

}  // namespace
}  // namespace ds
