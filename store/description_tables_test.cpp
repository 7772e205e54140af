#include "store/description_tables.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

class DescriptionTablesTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directory(home_.path() + "data"); }
  void WriteData(const char* file, const std::string& text) {
    std::ofstream(home_.path() + "data/" + file, std::ios::binary) << text;
  }
  TempFolder home_;
};

using Pairs = std::vector<std::pair<int, std::string>>;
Pairs Entries(const AttributeTable& table) {
  Pairs entries;
  for (const AttributeDescription& e : table)
    entries.emplace_back(e.id, e.desc);
  return entries;
}

// Ids in base 10 or 16, no entry without a description or past the amount.
TEST_F(DescriptionTablesTest, AttributeTableRules) {
  WriteData("SMART.dat",
            "attribute_amount=4\r\n"
            "Attribute_ID_1=0x09\r\nAttribute_ID_Desc_1=Power-on hours\r\n"
            "Attribute_ID_2=12\r\n"
            "Attribute_ID_3=0XC2\r\nAttribute_ID_Desc_3=Temperature\r\n"
            "Attribute_ID_4=194\r\nATTRIBUTE_ID_DESC_4=Temperature again\r\n"
            "Attribute_ID_5=5\r\nAttribute_ID_Desc_5=beyond the amount\r\n");
  AttributeTable table{{1, "stale"}};
  EXPECT_EQ(LoadAttributeTable(table, home_.path(), 0), 1);
  EXPECT_EQ(Entries(table),
            (Pairs{{9, "Power-on hours"}, {194, "Temperature"}, {194, "Temperature again"}}));
}

TEST_F(DescriptionTablesTest, BadCountsAreBoundedAndEmptyEntriesSkipped) {
  WriteData("SMART.dat", "attribute_amount=99999999999\nAttribute_ID_0=1\nAttribute_ID_Desc_0=a\n");
  WriteData("Identify.dat", "Word_Desc_Amount=-5\nWord_Desc_0=a\n");
  AttributeTable table;
  EXPECT_EQ(LoadAttributeTable(table, home_.path(), 0), 1);
  EXPECT_EQ(Entries(table), (Pairs{{1, "a"}}));
  std::vector<std::string> desc{"stale"};
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()), 1);
  EXPECT_TRUE(desc.empty());
  WriteData("Identify.dat", "Word_Desc_Amount=2\nWord_Desc_0=a\nWord_Desc_1=\nWord_Desc_2=c\n");
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()), 1);
  EXPECT_EQ(desc, (std::vector<std::string>{"a", "c"}));
  std::filesystem::remove_all(home_.path() + "data");
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()) + LoadAttributeTable(table, home_.path(), 0), 0);
  EXPECT_TRUE(desc.empty() && table.empty());
}

}  // namespace
}  // namespace ds
