#include "store/history_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace ds {
namespace {

TEST(HistoryFolderName, TrimsJoinsAndNeutralisesPathCharacters) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      // model, serial, name
      {"QRA-X50 128GB", "SN0001", "QRA-X50 128GB_SN0001"},
      {"  QRA-X50     ", "\tSN0001 ", "QRA-X50_SN0001"},  // padded IDENTIFY text
      {"", "", "_"},
      {"   ", " \t ", "_"},
      {"../../etc", "x/y", ".._.._etc_x_y"},
      {"a\\b", "c", "a_b_c"},
      {"..", "", ".._"},
      {std::string("ab\0cd", 5), "s", "ab_cd_s"},
      {"a\x01\x1f\x7f", "b", "a____b"},
      {"Mod\xc3\xa9le", "1", "Mod\xc3\xa9le_1"},  // high bytes stay
  };
  for (const auto& [model, serial, name] : cases)
    EXPECT_EQ(HistoryFolderName(model, serial), name) << model << "|" << serial;
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
      EXPECT_TRUE(name.find_first_of(std::string("/\0", 2)) == std::string::npos && name != "." &&
                  name != ".." && !name.empty() && name.size() <= 2 * kHistoryNamePartLimit + 1)
          << name;
    }
  }
  EXPECT_EQ(HistoryFolder("/opt/ds/", " M ", " S "), "/opt/ds/data/M_S/");
  EXPECT_EQ(HistoryFolder("/opt/ds/", "..", "/.."), "/opt/ds/data/..__../");
}

}  // namespace
}  // namespace ds
