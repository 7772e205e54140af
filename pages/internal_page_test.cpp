#include "pages/internal_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "platform/sim/sim_test_drive.h"
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
      {16384, 1, "32768"},
  };
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

  InternalPageInput input{.sectorCount = 250069680,
                          .attr167Raw = 2400,
                          .reallocatedRaw = 3,
                          .attr161Raw = 120,
                          .attr163Raw = 7,
                          .modelSeries = 0,
                          .vendor = {}};
  using Texts = std::vector<std::string>;
  EXPECT_EQ(InternalPageFields(input, 7630).values(),
            (Texts{" 69.87", "TB", "2400", "3000", "3", "120", "7", "32768", "#C12000",
                   "<img src=\"./images/icon_warning.png\">"}));
  input.modelSeries = 2;
  EXPECT_EQ(InternalPageFields(input, 7630).values(),
            (Texts{"---", "", "---", "---", "---", "---", "---", "---", "", ""}));
}

TEST(BuildInternalPage, ReadsTheVendorFigureAndWritesThePage) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data/template");
  SimulatedDiskImage image = testing::MakeImage({.vendorSignature = true});
  image.vendorPages[1] = std::vector<std::uint8_t>(1024, 0);
  image.vendorPages[1][606] = 0x1D, image.vendorPages[1][607] = 0xCE;  // 7630
  std::string message, html;
  struct : AtaDeviceOpener {  // the disk as drive 0
    std::shared_ptr<SimulatedDisk> disk;
    std::unique_ptr<AtaDevice> Open(int, const AtaOpenMode&, std::string* m) override {
      return disk->OpenHandle(m);
    }
  } opener;
  opener.disk = SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
  InternalPageInput input;
  input.driveCount = 1, input.sectorCount = 250069680, input.modelSeries = 0;
  input.opener = &opener, input.vendor = {0, "QRA X50", true, false, "B450M"};
  std::uint32_t figure = 99;
  // No template: nothing is read and no page is written.
  EXPECT_EQ(BuildInternalPage(ProgramRoots(home.path()), input, &figure, &message), std::nullopt);
  EXPECT_EQ(figure + opener.disk->CommandLog().size(), 0u);
  std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/InternalPage.tmp",
                             home.path() + "data/template/InternalPage.tmp");
  ASSERT_TRUE(BuildInternalPage(ProgramRoots(home.path()), input, &figure, &message));
  ASSERT_TRUE(ReadWholeFile(home.path() + "data/InternalPage.html", 1 << 20, &html, &message));
  EXPECT_EQ(figure, 7630u);
  EXPECT_NE(html.find(">32768<"), std::string::npos);
  input.driveCount = 0;
  EXPECT_EQ(BuildInternalPage(ProgramRoots(home.path()), input, &figure, &message), std::nullopt);
  EXPECT_FALSE(FileExists(home.path() + "data/InternalPage.html"));
}

}  // namespace
}  // namespace ds
