#include "pages/internal_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(InternalPageFields, TbwBlockClassEraseColourAndSeries) {
  // S × L beyond 64 bits in the fifth row; T = 71545 in the first.
  const std::tuple<std::uint64_t, int, std::string> tbw[] = {
      {250069680, 3000, " 69.87 TB"}, {1000000, 3000, "286 GB"},
      {3579140, 3000, "  1.00 TB"},   {2000000000000ull, 2000000000, "372529029846.19 TB"},
      {250069680, 0, "--- "},
  };
  for (const auto& [sectors, limit, expected] : tbw) {
    const TbwText text = FormatTbw(sectors, limit);
    EXPECT_EQ(text.value + " " + text.unit, expected) << sectors;
  }
  const std::tuple<std::uint64_t, std::uint32_t, std::string> blocks[] = {
      {250069680, 7630, "32768"},
      {250069680, 0, "Unknown"},
      {1000, 1000, "Unknown"},
      {63, 1, "64"},
      {64, 1, "128"},
      {16384, 1, "32768"}};
  for (const auto& [sectors, figure, text] : blocks)
    EXPECT_EQ(BlockCountClass(sectors, figure), text) << sectors << " / " << figure;
  const std::string warning = "<img src=\"./images/icon_warning.png\">";
  const std::tuple<std::uint64_t, int, std::string> colours[] = {
      {600, 3000, "#03508D"},  {2400, 3000, "#C12000" + warning},  {1900, 3000, "#5FA1CE"},
      {1800, 3000, "#5FA1CE"}, {~0ull, 3000, "#C12000" + warning}, {600, 0, ""},
  };
  for (const auto& [erase, limit, expected] : colours) {
    const EraseColour colour = EraseCountColour(erase, limit);
    EXPECT_EQ(colour.colour + colour.warning, expected) << erase << " / " << limit;
  }

  InternalPageInput input;
  input.sectorCount = 250069680, input.attr167Raw = 2400, input.reallocatedRaw = 3;
  input.attr161Raw = 120, input.attr163Raw = 7, input.modelSeries = 0;
  using Texts = std::vector<std::string>;
  EXPECT_EQ(InternalPageFields(input, 7630).values(),
            (Texts{" 69.87", "TB", "2400", "3000", "3", "120", "7", "32768", "#C12000",
                   "<img src=\"./images/icon_warning.png\">"}));
  input.modelSeries = 2;
  EXPECT_EQ(InternalPageFields(input, 7630).values(),
            (Texts{"---", "", "---", "---", "---", "---", "---", "---", "", ""}));
}

// The vendor figure read and shown is checked on the sample machine in app/report_pages_test.
TEST(BuildInternalPage, NoTemplateOrNoDriveWritesNoPage) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data/template");
  InternalPageInput input;
  input.driveCount = 1;
  std::string message;
  EXPECT_EQ(BuildInternalPage(ProgramRoots(home.path()), input, &message), std::nullopt);
  std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/InternalPage.tmp",
                             home.path() + "data/template/InternalPage.tmp");
  ASSERT_TRUE(BuildInternalPage(ProgramRoots(home.path()), input, &message));
  input.driveCount = 0;
  EXPECT_EQ(BuildInternalPage(ProgramRoots(home.path()), input, &message), std::nullopt);
  EXPECT_FALSE(FileExists(home.path() + "data/InternalPage.html"));
}

}  // namespace
}  // namespace ds
