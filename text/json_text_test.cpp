#include "text/json_text.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(JsonTextTest, EscapesWhatCouldBreakTheStreamOrAPage) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"line\nnext\r\t", "\"line\\nnext\\r\\t\""},
      {"</script><b>&", "\"\\u003c/script\\u003e\\u003cb\\u003e\\u0026\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"\xff\xfe", "\"\\ufffd\\ufffd\""},                         // not UTF-8
      {"\xc3", "\"\\ufffd\""},                                    // cut sequence
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                         // overlong "/"
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},              // surrogate
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""}};  // beyond U+10FFFF
  for (const auto& [in, out] : cases)
    EXPECT_EQ(JsonString(in), out) << in;
}

}  // namespace
}  // namespace ds
