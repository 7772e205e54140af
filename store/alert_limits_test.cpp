#include "store/alert_limits.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "store/settings_store.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(AlertLimits, SaveTakesEmptyOrAWholeNumberInRangeAndNamesTheFieldItRefuses) {
  // Unit, period unit, alerts on, the field set, its text, the refusal (empty: accepted).
  const std::tuple<int, int, int, std::string AlertSettings::*, const char*, const char*> cases[] =
      {
          {0, 0, 0, &AlertSettings::Above, "", ""},
          {0, 0, 0, &AlertSettings::Above, " 125 ", ""},
          {0, 0, 0, &AlertSettings::Above, "126", "from -55 to 125 in the \"Above\""},
          {1, 0, 0, &AlertSettings::Above, "257", ""},
          {1, 0, 0, &AlertSettings::Under, "-68", "from -67 to 257 in the \"Under\""},
          {0, 0, 0, &AlertSettings::Under, "abc", "from -55 to 125 in the \"Under\""},
          {0, 0, 0, &AlertSettings::Above, "7.5", "\"Above\""},
          {0, 0, 0, &AlertSettings::Capacity, "1000000", ""},
          {0, 0, 0, &AlertSettings::Capacity, "99999999999",
           "from 0 to 1000000 in the \"Capacity\""},
          {0, 0, 0, &AlertSettings::HealthStatus, "101", "from 0 to 100 in the \"Health Status\""},
          {0, 0, 0, &AlertSettings::LifespanYears, "-1", "from 0 to 100 in the \"Lifespan Years\""},
          {0, 0, 0, &AlertSettings::LifespanDays, "366", "from 0 to 365 in the \"Lifespan Days\""},
          {0, 0, 0, &AlertSettings::RefreshBy, "3650", ""},
          {0, 0, 0, &AlertSettings::RefreshBy, "0", "from 1 to 3650 in the \"Refresh By\""},
          {0, 1, 0, &AlertSettings::RefreshBy, "121", "from 1 to 120 in the \"Refresh By\""},
          {0, 2, 0, &AlertSettings::RefreshBy, "11", "from 1 to 10 in the \"Refresh By\""},
          {0, 2, 0, &AlertSettings::RefreshBy, "2147483647", "from 1 to 10 in the \"Refresh By\""},
          {0, 3, 0, &AlertSettings::RefreshBy, "1", "Please choose Day, Month or Year"},
          {0, 0, 1, &AlertSettings::RefreshBy, "", "Please input \"Refresh By\" field!"},
      };
  for (const auto& [unit, period, alerts, field, text, refusal] : cases) {
    AlertSettings settings;
    settings.EnableAlert = alerts, settings.TemperatureType = unit;
    settings.RefreshBy = "7", settings.RefreshByType = period;
    settings.*field = text;
    const std::string said = RefusedAlertInput(settings).value_or("");
    EXPECT_TRUE(*refusal == '\0' ? said.empty() : said.find(refusal) != std::string::npos)
        << text << " gave: " << said;
  }
}

TEST(AlertLimits, AStoredValueOutOfRangeIsClampedAtLoadAndLoggedOnce) {
  TempFolder home;
  std::filesystem::create_directory(home.path() + "data");
  std::ofstream(home.path() + "data/setting_tool_page.dat")
      << "TemperatureType=1\nAbove=300\nUnder=abc\nHealthStatus=-4x\nLifespanDays=99\n"
         "RefreshBy=2147483647\nRefreshByType=1\n";
  std::vector<std::string> logged;
  SettingsStore store(home.path(), {}, [&](std::string_view line) { logged.emplace_back(line); });
  AlertSettings settings;
  for (int load = 0; load < 2; ++load)
    store.LoadAlert(&settings);
  EXPECT_EQ(std::tuple(settings.Above, settings.Under, settings.HealthStatus, settings.LifespanDays,
                       settings.RefreshBy),
            std::tuple("257", "abc", "0", "99", "120"));
  EXPECT_EQ(logged, (std::vector<std::string>{
                        "the stored \"Above\" value 300 lies outside -67 to 257; 257 is used",
                        "the stored \"Health Status\" value -4x lies outside 0 to 100; 0 is used",
                        "the stored \"Refresh By\" value 2147483647 lies outside 1 to 120; 120 is "
                        "used"}));
}

}  // namespace
}  // namespace ds
