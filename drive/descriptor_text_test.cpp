#include "drive/descriptor_text.h"

#include <gtest/gtest.h>

#include <string>

namespace ds {
namespace {

TEST(DescriptorTextTest, HexPairsOrPlainText) {
  struct Case {
    std::string field, expected;
  };
  const Case cases[] = {
      {"", ""},
      {"ATA     ", "ATA"},
      {"  Samsung SSD 860  ", "Samsung SSD 860"},
      {"3130", "10"},                // hex pairs of printable characters
      {"2020414243442020", "ABCD"},  // decoded, then trimmed
      {"412 ", "A"},                 // a blank is the digit 0: "2 " gives a blank, then trimmed
      {"4142004344", "AB"},          // a NUL pair ends the text
      {"ABCD", "ABCD"},              // 0xAB is not printable: plain
      {"123", "123"},                // odd count: plain
      {"50026B7782159949", "50026B7782159949"},
      {std::string("SER\x01IAL", 7), "SER"},  // plain stops at a non-printable character
      {std::string("\x01SERIAL", 7), ""},
      {std::string("WD-123\0junk", 11), "WD-123"},
      {"\xC3\xA9t\xC3\xA9", ""},  // non-ASCII first: nothing printable
  };
  for (const Case& c : cases)
    EXPECT_EQ(DescriptorText(c.field), c.expected) << c.field;
}

}  // namespace
}  // namespace ds
