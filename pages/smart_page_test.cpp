#include "pages/smart_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "platform/file_system.h"
#include "tests/run_program.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

SmartAttribute Attribute(std::uint8_t id, const char* name, std::uint64_t current,
                         std::uint64_t threshold, std::uint64_t raw) {
  SmartAttribute a;
  a.id = id, a.name = name, a.current = a.worst = current, a.threshold = threshold, a.raw = raw;
  return a;
}

// The log sections: a missing log, an empty one, and entries newest first with their fields.
TEST(SmartPage, SelfTestAndErrorLogRows) {
  SelfTestLog tests{1, 2, {{2, 0x02, 0x73, 7, 30, 2410, 1ull << 30}, {1, 0x01, 0, 0, 0, 1187, {}}}};
  const std::string testRows = SelfTestLogRows(tests);
  const std::string errorRows = ErrorLogRows(ErrorLog{9, {{9, 0x25, 0x40, 0x51, 3, 4096, 88, 0}}});
  const std::pair<std::string, std::vector<const char*>> cases[] = {
      {SelfTestLogRows(std::nullopt), {"no self-test log"}},
      {SelfTestLogRows(SelfTestLog{}), {"no self-tests"}},
      {testRows,
       {"Extended offline", "Completed: read failure", "30 %", "2410", "1073741824",
        "Short offline", "Completed without error", "1187", "<td>", "-<"}},
      {ErrorLogRows(std::nullopt), {"no error log"}},
      {errorRows,
       {"Errors logged", ">9<", "Error 9 at 88 hours", "command 0x25, error 0x40",
        "status 0x51, LBA 4096"}}};
  for (const auto& [rows, wanted] : cases) {
    std::size_t at = 0;  // in this order
    for (const char* text : wanted) {
      at = rows.find(text, at);
      EXPECT_NE(at, std::string::npos) << text << " in " << rows;
    }
  }
}

TEST(SmartPage, AttributeCellTexts) {
  const std::pair<SmartAttribute, std::vector<std::string>> cases[] = {
      // clang-format off
      {Attribute(9, "Power-On Hours", 100, 0, 5), {"09", "Power-On Hours", "0", "100", "100", "OK", "00000005", "00000005"}},
      {Attribute(194, "Temperature", 67, 0, (1ULL << 32) + 1), {"C2", "Temperature", "0", "67", "67", "OK", "4294967297", "00000001"}},
      {Attribute(5, "Reallocated", 100, 10, 0xFFFFFFFFFFFFULL), {"05", "Reallocated", "10", "100", "100", "OK", "281474976710655", "FFFFFFFF"}},
      {Attribute(5, "Reallocated", 10, 10, 3), {"05", "Reallocated", "10", "10", "10", "FAIL", "00000003", "00000003"}},
      {Attribute(1, "Read errors", 0, 0, 0), {"01", "Read errors", "0", "0", "0", "OK", "00000000", "00000000"}},
      // clang-format on
  };
  for (const auto& [attribute, cells] : cases)
    EXPECT_EQ(AttributeCells(attribute), cells) << cells[0];
}

TEST(SmartPage, RowsAreExactAndEscaped) {
  EXPECT_EQ(SmartAttributeRows({}), "");
  const std::string dark = "<font style=\"font-size: 10px; font-family: Arial; color: #010000\">";
  const std::string blue = "<font style=\"font-size: 10px; font-family: Arial; color: #03508D\">";
  const std::string expected =
      "<tr><td>" + dark + "09</font></td><td>" + blue + "A&lt;B&gt;</font></td>" +
      "<td align=\"center\">" + dark + "0</font></td><td align=\"center\">" + dark +
      "100</font></td><td align=\"center\">" + dark + "100</font></td><td align=\"center\">" +
      blue + "<b>OK</b></font></td><td align=\"center\">" + dark +
      "00000005</font></td><td align=\"center\">" + dark + "00000005</font></td></tr>" +
      "<tr><td colspan=\"8\" height=\"2\"></td></tr>"
      "<tr><td colspan=\"8\" height=\"1\" bgcolor=\"#DFDFDF\"></td></tr>"
      "<tr><td colspan=\"8\" height=\"2\"></td></tr>";
  EXPECT_EQ(SmartAttributeRows({Attribute(9, "A<B>", 100, 0, 5)}), expected);
}

TEST(SmartPage, DeviceStatisticsTwoARowOrANote) {
  using Id = DeviceStatisticId;
  const std::string blue =
      "<td><font style=\"font-size: 10px; font-family: Arial; color: #03508D\">";
  const std::string dark =
      "</font></td><td align=\"right\"><font style=\"font-size: 10px; "
      "font-family: Arial; color: #010000\">";
  DeviceStatistics three{{{Id::kPowerOnHours, 1234},
                          {Id::kLowestTemperature, -5},
                          {Id::kPercentageUsed, 107, false, true}},
                         {}};
  const std::string rows = DeviceStatisticsRows(three);
  EXPECT_EQ(rows, "<tr>" + blue + "Power-on hours" + dark + "1234</font></td>" + blue +
                      "Lowest temperature (lifetime)" + dark + "-5 C</font></td></tr><tr>" + blue +
                      "Percentage used endurance indicator" + dark +
                      "107 % (condition met)</font></td></tr>");
  EXPECT_EQ(DeviceStatisticsRows(std::nullopt), DeviceStatisticsRows(DeviceStatistics{}));
}

// The self-test controls: the buttons with their minutes, the progress and Abort while a test
// runs (no start button then), a note for a disk without self-tests.
TEST(SmartPage, SelfTestControlsFollowTheDisk) {
  const std::tuple<bool, std::uint8_t, const char*, const char*> cases[] = {
      {true, 0x00, "Short test (2 min)</div>", "abort"},
      {true, 0x71, "Extended test (300 min)", "abort"},
      {true, 0xF4, "running, 40 % left</div><div class=\"selftest button\" id=\"selftest-abort",
       "short"},
      {false, 0x00, "runs no self-tests", "selftest-"}};
  for (const auto& [supported, status, shown, absent] : cases) {
    const std::string html = SelfTestControls({supported, 2, 300}, DecodeSelfTestExecution(status));
    EXPECT_TRUE(html.find(shown) != std::string::npos && html.find(absent) == std::string::npos)
        << html;
  }
}

class SmartPageBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home_.path() + "data/template");
    for (const char* name : {"SMARTPage.tmp", "SMARTInfo.tmp", "SMART_ID_Info.tmp"})
      std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/" + name,
                                 home_.path() + "data/template/" + name);
    input_.driveCount = 1;
    input_.attributes = {Attribute(9, "Power-On Hours", 100, 0, 1234),
                         Attribute(194, "Temperature", 67, 0, 33)};
    input_.identify.model = "QRA X50", input_.identify.serial = "S1";
    input_.identify.identifyDesc = {"Word 0", "Word 1"};
    input_.identify.identifyWords[0] = 0x0040;
  }
  std::string Data(const char* file) const { return home_.path() + "data/" + file; }
  std::optional<std::string> Build() {
    return BuildSmartPage(ProgramRoots(home_.path()), input_, &message_);
  }

  TempFolder home_;
  SmartPageInput input_;
  std::string message_;
};

TEST_F(SmartPageBuild, WritesThreePagesAndTwoWorkbooks) {
  const auto attributes = std::exchange(input_.attributes, {});  // none yet: pages still navigate
  ASSERT_EQ(Build(), "SMARTPage.html") << message_;
  EXPECT_EQ(ReadWorkbookWithXlrd(Data("SMART.xls")),
            "SMART\nID\tAttribute name\tThreshold\tValue\tWorst\tStatus\tRaw Data\tRaw Hex\n");
  input_.attributes = attributes;
  ASSERT_EQ(Build(), "SMARTPage.html") << message_;
  std::string page = ReadTextFile(Data("SMARTPage.html"));
  EXPECT_TRUE(!page.empty() && page.find("STR_") == std::string::npos);
  EXPECT_NE(page.find("Own verdict: ---<"), std::string::npos);
  EXPECT_NE(page.find("no device statistics"), std::string::npos);
  // Both tables are in the page itself, as in their own files.
  EXPECT_NE(page.find(SmartAttributeRows(input_.attributes)), std::string::npos);
  EXPECT_NE(page.find(">Word 1<"), std::string::npos);
  input_.deviceStatistics = DeviceStatistics{{{DeviceStatisticId::kPercentageUsed, 7}}, {}};
  input_.smartStatusPassed = false;
  ASSERT_EQ(Build(), "SMARTPage.html") << message_;
  page = ReadTextFile(Data("SMARTPage.html"));
  EXPECT_NE(page.find("Own verdict: threshold exceeded<"), std::string::npos);
  EXPECT_NE(page.find("Percentage used endurance indicator"), std::string::npos);
  EXPECT_NE(page.find("no self-test log"), std::string::npos);
  EXPECT_NE(page.find("no error log"), std::string::npos);

  EXPECT_EQ(ReadWorkbookWithXlrd(Data("SMART.xls")),
            "SMART\n"
            "ID\tAttribute name\tThreshold\tValue\tWorst\tStatus\tRaw Data\tRaw Hex\n"
            "09\tPower-On Hours\t0\t100\t100\tOK\t00001234\t000004D2\n"
            "C2\tTemperature\t0\t67\t67\tOK\t00000033\t00000021\n");
  EXPECT_EQ(ReadWorkbookWithXlrd(Data("Identify.xls")),
            "Identify\nItem\tDescription\nWord 0\t0x0040\nWord 1\t0x0000\n");
}

TEST_F(SmartPageBuild, StopsWithoutDrivesOrTemplatesAndDeletesOldPages) {
  ASSERT_EQ(Build(), "SMARTPage.html");
  input_.driveCount = 0;
  EXPECT_EQ(Build(), std::nullopt);
  for (const char* page : {"SMARTPage.html", "SMARTInfo.html", "SMART_ID_Info.html"})
    EXPECT_FALSE(std::filesystem::exists(Data(page))) << page;
  input_.driveCount = 1;
  std::filesystem::remove(home_.path() + "data/template/SMART_ID_Info.tmp");
  EXPECT_EQ(Build(), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(Data("SMARTInfo.html")));
  EXPECT_FALSE(std::filesystem::exists(Data("SMART_ID_Info.html")));
}

}  // namespace
}  // namespace ds
