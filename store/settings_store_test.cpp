#include "store/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// An unreadable settings file is never saved over; an unusable one is kept aside, then replaced.
TEST(SettingsStoreTest, NoSettingIsLost) {
  struct Case {
    const char* label;
    std::function<void(const std::string& path)> make;
    bool saved;      // the save went through
    bool keptAside;  // the old file lies beside the new one
  };
  const Case cases[] = {
      {"a folder in its place",
       [](const std::string& path) { std::filesystem::create_directories(path); }, false, false},
      {"larger than the reader takes",
       [](const std::string& path) {
         std::ofstream(path) << "Passwd=secret\n" << std::string(kMaxTextFileBytes, 'x');
       },
       false, false},
      {"binary garbage",
       [](const std::string& path) {
         std::ofstream(path) << std::string("\x01\x02\xff\xfe no key here", 17);
       },
       true, true},
      {"a good file", [](const std::string& path) { std::ofstream(path) << "Passwd=secret\n"; },
       true, false},
  };
  for (const Case& c : cases) {
    TempFolder home;
    std::filesystem::create_directories(home.path() + "data");
    const std::string path = home.path() + "data/setting_tool_page.dat";
    c.make(path);
    const bool wasFile = std::filesystem::is_regular_file(path);
    const std::string before = wasFile ? ReadTextFile(path) : "";
    SettingsStore store(home.path(), [] { return std::string("20261206-120000"); });
    AlertSettings alert;
    store.LoadAlert(&alert);
    const std::vector<std::string> problems = store.TakeProblems();
    EXPECT_EQ(problems.size(), c.saved && !c.keptAside ? 0u : 1u) << c.label;
    alert.Host = "smtp.example.com";
    EXPECT_EQ(store.SaveAlert(alert), c.saved) << c.label;
    EXPECT_TRUE(store.TakeProblems().empty()) << c.label << ": said once only";
    const std::string aside = path + ".unreadable-20261206-120000";
    EXPECT_EQ(FileExists(aside), c.keptAside) << c.label;
    if (c.keptAside) {
      EXPECT_EQ(ReadTextFile(aside), before);
    }
    if (!c.saved) {  // what was there is there still
      EXPECT_EQ(std::filesystem::is_directory(path), !wasFile) << c.label;
      EXPECT_EQ(wasFile ? ReadTextFile(path) : "", before) << c.label;
    } else {
      EXPECT_NE(ReadTextFile(path).find("Host=smtp.example.com"), std::string::npos) << c.label;
    }
  }
}

}  // namespace
}  // namespace ds
