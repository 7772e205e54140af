#include "pages/identify_table.h"

#include <gtest/gtest.h>

#include <fstream>

#include "store/description_tables.h"

namespace ds {
namespace {

using Words = std::array<std::uint16_t, 256>;

Words WordsWith(std::initializer_list<std::pair<int, std::uint16_t>> values) {
  Words words{};
  for (auto [index, value] : values)
    words[index] = value;
  return words;
}

TEST(IdentifyTable, DecodeLines) {
  // Words whose values the golden table of a real disk below does not show as they are here.
  // clang-format off
  const std::tuple<const char*, int, Words, std::vector<std::string>> cases[] = {
      {"SATA capabilities", 32, WordsWith({{76, 0x050E}}), {"Supports the SATA Phy Event Counters log", "Supports the NCQ feature set", "Supports SATA Gen3 Signaling Speed (6.0Gb/s)", "Supports SATA Gen2 Signaling Speed (3.0Gb/s)", "Supports SATA Gen1 Signaling Speed (1.5Gb/s)"}},
      {"negotiated speed", 33, WordsWith({{77, 0x0006}}), {"Coded value indicating current negotiated Serial ATA signal speed: 3"}},
      {"capabilities with bit 13 clear", 15, WordsWith({{49, 0x0300}}), {"Standby timer values shall be vendor specific", "IORDY (see ATA8-APT) may be supported", "LBA is supported", "DMA is supported"}},
      {"DRQ block size", 13, WordsWith({{47, 0x8010}}), {"Maximum number of logical sectors that shall be transferred per DRQ data block: 16"}},
      {"multiple setting", 20, WordsWith({{59, 0x0110}}), {"Multiple logical sector setting is valid", "Current setting for number of logical sectors that shall be transferred per DRQ data block: 16"}},
      // Major versions live at bits 10 to 5 of word 80; bits 4 to 1 name nothing here.
      {"major versions", 36, WordsWith({{80, 0x07E0}}), {"Supports ACS-3", "Supports ACS-2", "Supports ATA8-ACS", "Supports ATA/ATAPI-7", "Supports ATA/ATAPI-6", "Supports ATA/ATAPI-5"}},
      {"old versions only", 36, WordsWith({{80, 0x001E}}), {}},
      // Word 86: spin-up at bit 6 and PUIS enabled at bit 5, as in word 83.
      {"word 86", 42, WordsWith({{86, 0x0070}}), {"SET FEATURES subcommand is required to spin-up after power-up", "The PUIS feature set is enabled"}},
      {"transport", 87, WordsWith({{222, 0x107F}}), {"Transport Type: Serial", "SATA 3.1", "SATA 3.0", "SATA 2.6", "SATA 2.5", "SATA II: Extensions", "SATA 1.0a", "ATA8-AST"}},
      {"parallel transport", 87, WordsWith({}), {"Transport Type: Parallel"}},
      {"item without decode", 5, WordsWith({{6, 0xFFFF}}), {}},
  };
  // clang-format on
  for (const auto& [name, item, words, lines] : cases)
    EXPECT_EQ(IdentifyDecodeLines(words, item), lines) << name;
}

// Items the golden table below leaves unchecked: the vendor text, an unescaped serial, the end.
TEST(IdentifyTable, ItemValues) {
  IdentifyTableInput input;
  input.serial = "S<1>";
  input.identifyWords = WordsWith({{129, 'B' << 8 | 'A'}, {130, 'C'}, {131, 'D'}});
  const std::pair<int, const char*> cases[] = {{8, "S<1>"}, {69, "ABC"}, {95, ""}, {200, ""}};
  for (const auto& [item, value] : cases)
    EXPECT_EQ(IdentifyItemValue(input, item), value) << item;
}

TEST(IdentifyTable, LinesRowsAndDeliveredDescriptions) {
  IdentifyTableInput input;
  ASSERT_EQ(LoadIdentifyTable(input.identifyDesc, std::string(DS_SOURCE_DIR) + "/"), 1);
  input.identifyWords = WordsWith({{75, 0x001F}, {255, 0x5AA5}});
  input.model = "M";
  std::vector<IdentifyLine> lines = IdentifyTableLines(input);
  // 95 items, 6 decode lines that always show, 5 "else" lines of words 49, 50, 128, 222 at 0.
  EXPECT_EQ(std::make_tuple(lines.size(), lines.front().description, lines.front().detail,
                            lines.back().value, lines.back().detail),
            std::make_tuple(95u + 6u + 5u, "Word 0: General configuration", false,
                            "Checksum Validity Indicator: 0xA5", true));

  std::string rows = IdentifyTableRows({{"Desc", "a\"b", false}, {"", "line", true}});
  EXPECT_NE(rows.find("color: #03508D\">Desc</font>"), std::string::npos);
  EXPECT_NE(rows.find("color: #010000\">a&quot;b</font>"), std::string::npos);
  EXPECT_NE(rows.find("color: #03508D\"></font>"), std::string::npos);  // detail: no description
}

// The whole table of a real disk (a Kingston SA400, IDENTIFY sector as the disk sent it),
// checked line by line against hdparm's reading of the same sector when it was recorded.
TEST(IdentifyTable, GoldenTableOfARealDisk) {
  const std::string golden = std::string(DS_SOURCE_DIR) + "/testdata/";
  std::ifstream sector(
      std::string(DS_TESTDATA_DIR) + "/real-drives/KINGSTON_SA400S37240G_SBFK71B1/identify.bin",
      std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(sector)), {});
  ASSERT_EQ(bytes.size(), 512u);
  IdentifyTableInput input;
  for (int i = 0; i < 256; ++i) {
    input.identifyWords[i] =
        static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  input.model = "KINGSTON SA400S37240G";
  input.serial = "50026B7782159949";
  input.firmware = "SBFK71B1";
  ASSERT_EQ(LoadIdentifyTable(input.identifyDesc, std::string(DS_SOURCE_DIR) + "/"), 1);
  std::string table;
  for (const IdentifyLine& line : IdentifyTableLines(input)) {
    table += line.description + "\t" + line.value + "\n";
  }
  std::ifstream expected(golden + "kingston_sa400s37240g_identify_table.txt", std::ios::binary);
  EXPECT_EQ(table, std::string((std::istreambuf_iterator<char>(expected)), {}));
}

}  // namespace
}  // namespace ds
