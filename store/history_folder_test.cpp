#include "store/history_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace ds {
namespace {

struct FolderNameCase {
  const char* label;
  std::string model;
  std::string serial;
  std::string expected;
};

TEST(HistoryFolderName, TrimsJoinsAndNeutralisesPathCharacters) {
  const FolderNameCase cases[] = {
      {"plain", "QRA-X50 128GB", "SN0001", "QRA-X50 128GB_SN0001"},
      {"padded IDENTIFY text", "  QRA-X50     ", "\tSN0001 ", "QRA-X50_SN0001"},
      {"both empty", "", "", "_"},
      {"blank only", "   ", " \t ", "_"},
      {"slash", "../../etc", "x/y", ".._.._etc_x_y"},
      {"backslash", "a\\b", "c", "a_b_c"},
      {"dot model", ".", ".", "._."},
      {"dot-dot model", "..", "", ".._"},
      {"NUL inside", std::string("ab\0cd", 5), "s", "ab_cd_s"},
      {"control characters", "a\x01\x1f\x7f", "b", "a____b"},
      {"high bytes stay", "Mod\xc3\xa9le", "1", "Mod\xc3\xa9le_1"},
  };
  for (const FolderNameCase& c : cases) {
    EXPECT_EQ(HistoryFolderName(c.model, c.serial), c.expected) << c.label;
  }
}

TEST(HistoryFolderName, IsAlwaysOneHarmlessComponentOfBoundedLength) {
  const std::string hostile[] = {"",
                                 ".",
                                 "..",
                                 "/",
                                 "//",
                                 "/..",
                                 "../",
                                 std::string(1, '\0'),
                                 std::string(600, 'M'),
                                 std::string(300, '/')};
  for (const std::string& model : hostile) {
    for (const std::string& serial : hostile) {
      const std::string name = HistoryFolderName(model, serial);
      EXPECT_EQ(name.find('/'), std::string::npos) << name;
      EXPECT_EQ(name.find('\0'), std::string::npos);
      EXPECT_NE(name, ".");
      EXPECT_NE(name, "..");
      EXPECT_FALSE(name.empty());
      EXPECT_LE(name.size(), 2 * kHistoryNamePartLimit + 1);
    }
  }
}

TEST(HistoryFolder, LiesDirectlyBelowTheDataFolder) {
  EXPECT_EQ(HistoryFolder("/opt/ds/", " M ", " S "), "/opt/ds/data/M_S/");
  EXPECT_EQ(HistoryFolder("/opt/ds/", "..", "/.."), "/opt/ds/data/..__../");
}

}  // namespace
}  // namespace ds
