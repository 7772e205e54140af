#include "pages/export_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/run_program.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

// The export command against the sample machine of a copied data folder.
class ExportCommandTest : public testing::Test {
 protected:
  ExportCommandTest() {
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
  }
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return RunExportCommand(args, home.path(), out, err);
  }
  TempFolder home;
  std::ostringstream out, err;
};

TEST_F(ExportCommandTest, WritesTheSmartAndIdentifyWorkbooks) {
  const std::string smart = home.path() + "smart.xls";
  ASSERT_EQ(Run({"smart", "--drive", "0", "--demo", "-o", smart}), 0) << err.str();
  const std::string sheet = ReadWorkbookWithXlrd(smart);
  EXPECT_EQ(
      sheet.rfind("SMART\nID\tAttribute name\tThreshold\tValue\tWorst\tStatus\tRaw Data\tRaw Hex\n",
                  0),
      0u)
      << sheet;
  EXPECT_NE(sheet.find("\nA7\tAverage Erase Count\t"), std::string::npos) << sheet;

  const std::string identify = home.path() + "identify.xls";
  ASSERT_EQ(Run({"identify", "--demo", "--drive", "1", "-o", identify}), 0) << err.str();
  const std::string table = ReadWorkbookWithXlrd(identify);
  EXPECT_EQ(table.rfind("Identify\nItem\tDescription\nWord 0: General configuration\t0x", 0), 0u)
      << table;
  EXPECT_NE(table.find("Word 255: Integrity word"), std::string::npos);
}

TEST_F(ExportCommandTest, RefusesBadRequests) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
  };
  const std::string out = home.path() + "x.xls";
  const Case cases[] = {
      {{}, 2},
      {{"smart", "--demo", "-o", out}, 2},                   // no drive
      {{"smart", "--demo", "--drive", "0"}, 2},              // no output
      {{"smart", "--demo", "--drive", "x1", "-o", out}, 2},  // not a number
      {{"pictures", "--demo", "--drive", "0", "-o", out}, 2},
      {{"smart", "--demo", "--drive", "9", "-o", out}, 1},  // no such disk
      {{"smart", "--sim", home.path() + "nowhere", "--drive", "0", "-o", out}, 3},
      {{"identify", "--demo", "--drive", "0", "-o", home.path() + "no/such/folder.xls"}, 1},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& word : c.args)
      joined += word + " ";
    EXPECT_EQ(Run(c.args), c.exitCode) << joined << err.str();
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace ds
