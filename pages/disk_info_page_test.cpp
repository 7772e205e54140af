#include "pages/disk_info_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/temp_folder.h"

namespace ds {
namespace {

std::string FieldValue(const PageFields& fields, const std::string& key) {
  const auto at = std::find(fields.keys().begin(), fields.keys().end(), key);
  return at == fields.keys().end() ? "<absent>" : fields.values()[at - fields.keys().begin()];
}

// The 8-bit text of a UTF-16LE page (its characters here are all below U+0100).
std::string ReadWidePage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text += bytes[i];
  return text;
}

DriveRecord Drive(const char* model, const char* letters, int number) {
  DriveRecord record;
  record.model = model, record.serial = "SN", record.firmware = "FW";
  record.driveLetters = letters, record.driveNumber = number, record.sectorCount = 250069680;
  return record;
}

TEST(DiskInfoPage, IdentifyWordTexts) {
  using Text = std::string (*)(std::uint16_t);
  const Text gen = SataGenerationText, ata = AtaStandardText;
  const std::tuple<Text, std::uint16_t, const char*> cases[] = {
      {gen, 0x0000, "Unknown"},
      {gen, 0x0002, "SATA Gen1 (1.5Gb/s)"},
      {gen, 0xFFF1, "Unknown"},
      {gen, 0x0006, "SATA Gen2 (3.0Gb/s)"},
      {gen, 0x050E, "SATA Gen3 (6.0Gb/s)"},
      {ata, 0x0000, "Unknown"},
      {ata, 0x00F0, "ATA7"},
      {ata, 0x01F0, "ATA8-ACS"},
      {ata, 0x03F0, "ACS-2"},
      {ata, 0x07F0, "ACS-3"},
      {ata, 0x0010, "ATA4"},
      {ata, 0x0020, "ATA5"},
      {ata, 0x0040, "ATA6"},
      {ata, 0xF80F, "Unknown"},
  };
  for (const auto& [text, word, expected] : cases)
    EXPECT_EQ(text(word), expected) << word;
}

TEST(DiskInfoPage, FeatureTableTwoPerRow) {
  std::array<std::uint16_t, 256> words{};
  EXPECT_EQ(DiskFeatureTable(words),
            "<table border=\"0\" align=\"left\" cellpadding=\"0\" cellspacing=\"0\"><tr>"
            "<td width=\"63\" align=\"center\"></td><td>"
            "<table border=\"0\" align=\"left\" cellpadding=\"0\" cellspacing=\"0\"><tr>"
            "</tr></table></td><td width=\"63\" align=\"center\"></td></tr></table>");
  words[82] = 0x0001, words[169] = 0x0001, words[76] = 0x0100;  // S.M.A.R.T., TRIM, NCQ
  const std::string cell =
      "<td width=\"310\" height=\"18\"><font style=\"font-size: 11px; font-family: Arial; color: "
      "#000000\">";
  std::string table = DiskFeatureTable(words);
  const std::string expectedRows = cell +
                                   "Native Command Queuing(NCQ)</font></td><td width=\"19\"></td>" +
                                   cell + "S.M.A.R.T.</font></td></tr><tr>" + cell +
                                   "TRIM</font></td><td width=\"19\"></td></tr></table>";
  EXPECT_NE(table.find(expectedRows), std::string::npos) << table;
}

TEST(DiskInfoPage, VolumeListsSizesAndPercent) {
  DiskInfoInput input;
  input.drives = {Drive("QRA X50 \"Pro\"", "/, /home", 0), Drive("Other", "/data", 2),
                  Drive("Bare", "", 3)};
  std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> space = {
      {"/", {100ULL << 30, 500ULL << 30}}, {"/home", {0, 0}}, {"/data", {1ULL << 30, 4ULL << 30}}};
  input.volumeSpace = [&](const std::string& mount, auto* freeBytes, auto* total) {
    const auto it = space.find(mount);
    return it != space.end() && (std::tie(*freeBytes, *total) = it->second, true);
  };

  const std::string select = "<select onChange=\"MM_jumpMenu('self',this,0)\">";
  // Disk, volume, field, value.
  const std::tuple<int, int, const char*, std::string> cases[] = {
      {0, 0, "STR_DRIVE_FREE_SIZE", "100.00"},
      {0, 0, "STR_DRIVE_USED_SIZE", "400.00"},
      {0, 0, "STR_DRIVE_TOTAL_SIZE", "500.00"},
      {0, 0, "STR_DRIVE_USED_PERCENTAGE", "80"},
      {0, 0, "STR_MODEL_NAME", "QRA X50 &quot;Pro&quot;"},
      {0, 0, "STR_COOKIE_DISK_SEL", "disk_sel=0"},
      {0, 0, "STR_DISK_SEL",
       select +
           "<option value=\"disk_info_0_0.html\" selected>QRA X50 &quot;Pro&quot;</option><option "
           "value=\"disk_info_1_0.html\">Other</option><option "
           "value=\"disk_info_2_0.html\">Bare</option></select>"},
      {0, 1, "STR_DRIVE_SEL",
       select + "<option value=\"disk_info_0_0.html\">Drive /</option><option "
                "value=\"disk_info_0_1.html\" selected>Drive /home</option></select>"},
      {0, 1, "STR_DRIVE_USED_PERCENTAGE", "0"},  // size 0: no division
      {1, 0, "STR_DRIVE_SEL",
       select + "<option value=\"disk_info_1_0.html\">Drive /data</option></select>"},
      {1, 0, "STR_DRIVE_USED_PERCENTAGE", "75"},
      {2, 0, "STR_DRIVE_SEL",
       select + "<option value=\"disk_info_2_0.html\">NULL</option></select>"},
      {2, 0, "STR_DRIVE_FREE_SIZE", "0"},
      {2, 0, "STR_DRIVE_USED_SIZE", "0"},
      {2, 0, "STR_DRIVE_TOTAL_SIZE", "0"},
      {2, 0, "STR_DRIVE_USED_PERCENTAGE", "0"},
      {2, 0, "STR_UNIT_DRIVE_TOTAL_SIZE", "GB"},
  };
  for (const auto& [disk, volume, key, value] : cases)
    EXPECT_EQ(FieldValue(DiskInfoFields(input, disk, volume, "40", "104"), key), value)
        << disk << "/" << volume << " " << key;
}

TEST(DiskInfoPage, SplitsAtMostTwentySixVolumes) {
  std::string letters;
  for (int i = 0; i < 30; ++i)
    letters += (i ? ", /m" : "/m") + std::to_string(i);
  auto split = SplitDriveLetters(letters);
  ASSERT_EQ(split.size(), 26u);
  EXPECT_EQ(split[25], "/m25");
  EXPECT_EQ(SplitDriveLetters(" /a ,/b"), (std::vector<std::string>{"/a", "/b"}));
  EXPECT_TRUE(SplitDriveLetters("").empty());
}

TEST(DiskInfoPage, BuildsOneFilePerDriveAndVolume) {
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data/template");
  DiskInfoInput input;
  input.drives = {Drive("QRA X50", "/, /home", 0), Drive("Bare", "", 1)};
  input.selectedDisk = 1;
  input.temperature = [](int driveNumber, int* celsius) { return *celsius = 40, driveNumber == 0; };
  std::string message;
  const auto build = [&](const DiskInfoInput& in) {
    return BuildDiskInfoPage(ProgramRoots(home.path()), in, &message);
  };
  EXPECT_EQ(build(input), std::nullopt);  // no template yet
  std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/disk_info.tmp",
                             home.path() + "data/template/disk_info.tmp");
  EXPECT_EQ(build(input), "disk_info_1_0.html") << message;
  for (const char* file : {"disk_info_0_0.html", "disk_info_0_1.html", "disk_info_1_0.html"})
    EXPECT_TRUE(std::filesystem::exists(home.path() + "data/" + file)) << file;
  EXPECT_FALSE(std::filesystem::exists(home.path() + "data/disk_info_1_1.html"));
  const std::string page = ReadWidePage(home.path() + "data/disk_info_0_0.html");
  EXPECT_NE(page.find("104"), std::string::npos);
  EXPECT_EQ(page.find("STR_"), std::string::npos);
  EXPECT_NE(ReadWidePage(home.path() + "data/disk_info_1_0.html").find("---"), std::string::npos);

  EXPECT_EQ(build(DiskInfoInput{}), std::nullopt);  // no drives
}

}  // namespace
}  // namespace ds
