#include "pages/home_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "pages/page_registry.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(HomePage, OneEscapedRowPerDiskWithDashesForMissingValues) {
  setenv("TZ", "UTC", 1);
  tzset();
  HomePageInput input;
  input.rows = {{0, " QRA-X50 <64GB> ", "SN&1", "/dev/sda", 71, 88, 400, 1795996800,
                 "alert mailed 2026-11-30 00:00 UTC"},
                {3, "M2", "", "/dev/sdd", {}, {}, {}, 0, "not watched"},
                {-1, "STR_DISK_COUNT", "S3", "", -3, 0, 0, 0, "\"OK\""}};
  input.fahrenheit = true;
  const PageFields fields = HomePageFields(input);
  ASSERT_EQ(fields.keys(),
            (std::vector<std::string>{"STR_DISK_INFO_BUTTON", "STR_DISK_COUNT", "STR_HOME_ROWS"}));
  EXPECT_EQ(fields.values()[0], "1005");
  EXPECT_EQ(fields.values()[1], "3 disks");
  EXPECT_EQ(fields.values()[2],
            "<tr class=\"disk\" onclick=\"OpenDisk(0)\"><td><div class=\"model\">QRA-X50 "
            "&lt;64GB&gt;</div><div class=\"muted\">SN&amp;1</div></td><td>/dev/sda</td><td>160 "
            "&deg;F</td><td>88 %</td><td>400 days</td><td>2026-11-30 00:00 UTC</td><td>alert "
            "mailed 2026-11-30 00:00 UTC</td></tr>\n"
            "<tr class=\"disk\" onclick=\"OpenDisk(3)\"><td><div class=\"model\">M2</div><div "
            "class=\"muted\">---</div></td><td>/dev/sdd</td><td>---</td><td>---</td><td>---</td>"
            "<td>---</td><td>not watched</td></tr>\n"
            "<tr class=\"disk off\"><td><div class=\"model\">STR_DISK_COUNT</div><div "
            "class=\"muted\">S3</div></td><td>---</td><td>27 &deg;F</td><td>0 %</td><td>0 "
            "days</td><td>---</td><td>&quot;OK&quot;</td></tr>\n");

  // The delivered template takes every field; a disk's text is never taken for one.
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data");
  ProgramRoots roots(home.path());
  roots.install = std::string(DS_SOURCE_DIR) + "/";
  std::string message;
  ASSERT_EQ(BuildHomePage(roots, input, &message), std::optional<std::string>(kHomePageFile))
      << message;
  const std::string page = ReadTextFile(home.path() + "data/" + kHomePageFile);
  EXPECT_NE(page.find("id=1005\""), std::string::npos);
  EXPECT_NE(page.find("\"model\">STR_DISK_COUNT<"), std::string::npos);
  EXPECT_EQ(page.find("STR_HOME_ROWS"), std::string::npos);
  input.rows.clear();
  EXPECT_NE(HomePageFields(input).values()[2].find("No ATA or SATA disk"), std::string::npos);
}

}  // namespace
}  // namespace ds
