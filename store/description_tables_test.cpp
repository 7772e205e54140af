#include "store/description_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST_F(DescriptionTablesTest, AttributeTableRules) {
  WriteData("SMART.dat",
            "attribute_amount=4\r\n"
            "Attribute_ID_1=0x09\r\nAttribute_ID_Desc_1=Power-on hours\r\n"
            "Attribute_ID_2=12\r\n"  // no description: skipped, no gap
            "Attribute_ID_3=0XC2\r\nAttribute_ID_Desc_3=Temperature\r\n"
            "Attribute_ID_4=194\r\nATTRIBUTE_ID_DESC_4=Temperature again\r\n"
            "Attribute_ID_5=5\r\nAttribute_ID_Desc_5=beyond the amount\r\n");
  AttributeTable table;
  ASSERT_EQ(LoadAttributeTable(table, home_.path(), 0), 1);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].id, 9);
  EXPECT_EQ(table[0].desc, "Power-on hours");
  EXPECT_EQ(table[1].id, 194);
  EXPECT_EQ(table[2].id, 194);
  EXPECT_EQ(table[2].desc, "Temperature again");
}

TEST_F(DescriptionTablesTest, SeriesOneAndTwoUseTheSecondTableOnly) {
  WriteData("SMART.dat", "attribute_amount=1\nAttribute_ID_1=9\nAttribute_ID_Desc_1=x\n");
  AttributeTable table{{1, "stale"}};
  for (int series : {1, 2}) {
    EXPECT_EQ(LoadAttributeTable(table, home_.path(), series), 0) << series;
    EXPECT_TRUE(table.empty()) << series;
  }
  for (int series : {0, 99}) {
    EXPECT_EQ(LoadAttributeTable(table, home_.path(), series), 1) << series;
    EXPECT_EQ(table.size(), 1u) << series;
  }
}

TEST_F(DescriptionTablesTest, BadCountsAreBounded) {
  WriteData("SMART.dat", "attribute_amount=99999999999\nAttribute_ID_0=1\nAttribute_ID_Desc_0=a\n");
  WriteData("Identify.dat", "Word_Desc_Amount=-5\nWord_Desc_0=a\n");
  AttributeTable table;
  EXPECT_EQ(LoadAttributeTable(table, home_.path(), 0), 1);
  EXPECT_EQ(table.size(), 1u);
  std::vector<std::string> desc{"stale"};
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()), 1);
  EXPECT_TRUE(desc.empty());
}

TEST_F(DescriptionTablesTest, IdentifyTableSkipsEmptyEntries) {
  WriteData("Identify.dat", "Word_Desc_Amount=2\nWord_Desc_0=a\nWord_Desc_1=\nWord_Desc_2=c\n");
  std::vector<std::string> desc;
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()), 1);
  EXPECT_EQ(desc, (std::vector<std::string>{"a", "c"}));
  std::filesystem::remove(home_.path() + "data/Identify.dat");
  EXPECT_EQ(LoadIdentifyTable(desc, home_.path()), 0);
  EXPECT_TRUE(desc.empty());
}

// The tables delivered with the program: every entry loads and the IDENTIFY table has one
// description per item of the Identify page (items 0 to 94).
TEST(DeliveredTables, LoadCompletely) {
  const std::string home = std::string(DS_SOURCE_DIR) + "/";
  AttributeTable smart, smart2;
  ASSERT_EQ(LoadAttributeTable(smart, home, 0), 1);
  ASSERT_EQ(LoadAttributeTable(smart2, home, 1), 1);
  for (int id : {1, 5, 9, 12, 160, 161, 163, 167, 168, 170, 177, 194, 231, 241, 242}) {
    EXPECT_TRUE(std::any_of(smart.begin(), smart.end(), [id](auto& e) { return e.id == id; }))
        << "SMART.dat lacks " << id;
  }
  for (int id : {9, 12, 170, 196, 231}) {
    EXPECT_TRUE(std::any_of(smart2.begin(), smart2.end(), [id](auto& e) { return e.id == id; }))
        << "SMART2.dat lacks " << id;
  }
  std::vector<std::string> identify;
  ASSERT_EQ(LoadIdentifyTable(identify, home), 1);
  ASSERT_EQ(identify.size(), 95u);
  EXPECT_EQ(identify[12].rfind("Words 27-46", 0), 0u);
  EXPECT_EQ(identify[55].rfind("Words 100-103", 0), 0u);
  EXPECT_EQ(identify[94].rfind("Word 255", 0), 0u);
}

}  // namespace
}  // namespace ds
