#include "drive/descriptor_text.h"

#include <gtest/gtest.h>

#include <string>

namespace ds {
namespace {

TEST(DescriptorTextTest, HexPairsOrPlainText) {
  const std::pair<std::string, const char*> cases[] = {
      {"  Samsung SSD 860  ", "Samsung SSD 860"},
      {"3130", "10"},                // hex pairs of printable characters
      {"2020414243442020", "ABCD"},  // decoded, then trimmed
      {"412 ", "A"},                 // a blank is the digit 0: "2 " gives a blank, then trimmed
      {"4142004344", "AB"},          // a NUL pair ends the text
      {"ABCD", "ABCD"},              // 0xAB is not printable: plain
      {"123", "123"},                // odd count: plain
      {std::string("SER\x01IAL", 7), "SER"},  // plain stops at a non-printable character
      {std::string("WD-123\0junk", 11), "WD-123"},
      {"\xC3\xA9t\xC3\xA9", ""}};  // non-ASCII first: nothing printable
  for (const auto& [field, expected] : cases)
    EXPECT_EQ(DescriptorText(field), expected) << field;
}

}  // namespace
}  // namespace ds
