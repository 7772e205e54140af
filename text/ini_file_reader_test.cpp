#include "text/ini_file_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/leading_integer.h"

namespace ds {
namespace {

TEST(IniFileReader, ParsesTheFormatRules) {
  const std::string longLine = "L=" + std::string(1 << 20, 'x') + "\nB=2\n";
  const std::tuple<const char*, std::string, const char*, std::string> cases[] = {
      {"CR LF line ends", "A=1\r\nB=2\r\n", "B", "2"},
      {"lone CR line ends", "A=1\rB=2\r", "B", "2"},
      {"missing final newline", "A=1\nB=2", "B", "2"},
      {"lookup key is trimmed", "Port=25\n", "  port ", "25"},
      {"empty key is a key", "=x\n", "", "x"},
      {"NUL inside a value kept as a byte", std::string("A=x\0y\n", 6), "A",
       std::string("x\0y", 3)},
      {"a long line read whole", longLine, "L", std::string(1 << 20, 'x')},
      {"the line after a long one", longLine, "B", "2"}};
  for (const auto& [name, text, key, expected] : cases)
    EXPECT_EQ(IniFileReader::FromText(text).lookup(key), expected) << name;
}

TEST(LeadingInteger, FollowsTheLeadingDigitsRule) {
  std::vector<std::int64_t> found;
  for (const char* text : {" 1", "\t-7x", "+3", "", "-", "12abc34", "0x1F", "- 5", "4294967297",
                           "99999999999999999999", "-99999999999999999999", "9223372036854775808"})
    found.push_back(LeadingInteger64(text));
  EXPECT_EQ(found, (std::vector<std::int64_t>{1, -7, 3, 0, 0, 12, 0, 0, 4294967297LL, INT64_MAX,
                                              INT64_MIN, INT64_MAX}));
  EXPECT_EQ(LeadingInteger("4294967297"), INT32_MAX);
  EXPECT_EQ(LeadingInteger("-4294967297"), INT32_MIN);

  int kept = 5, cleared = 5;
  AssignIfNotEmpty("", &kept), AssignIfNotEmpty("x", &cleared);
  EXPECT_EQ(std::pair(kept, cleared), std::pair(5, 0));
}

}  // namespace
}  // namespace ds
