#include "text/utf8_decoder.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(Utf8DecoderTest, DecodesWellFormedSequencesAndTakesAnythingElseAsOneLoneByte) {
  const struct {
    std::string_view bytes;
    Utf8Step step;
  } cases[] = {{"A", {0x41, 1, true}},
               {"\xC3\xA9z", {0xE9, 2, true}},
               {"\xE2\x82\xAC", {0x20AC, 3, true}},
               {"\xF0\x9F\x98\x80", {0x1F600, 4, true}},
               {"\xF4\x8F\xBF\xBF", {0x10FFFF, 4, true}},
               {"\xEF\xBF\xBF", {0xFFFF, 3, true}},
               {"\xA9", {0xA9, 1, false}},              // stray continuation byte
               {"\xC0\xAF", {0xC0, 1, false}},          // overlong "/" (2 bytes)
               {"\xE0\x9F\xBF", {0xE0, 1, false}},      // overlong U+07FF (3 bytes)
               {"\xF0\x8F\xBF\xBF", {0xF0, 1, false}},  // overlong U+FFFF (4 bytes)
               {"\xED\xA0\x80", {0xED, 1, false}},      // surrogate U+D800
               {"\xED\xBF\xBF", {0xED, 1, false}},      // surrogate U+DFFF
               {"\xE2\x82", {0xE2, 1, false}},          // cut by the end
               {"\xF0\x9F\x98", {0xF0, 1, false}},      // cut by the end
               {"\xE2\x82z", {0xE2, 1, false}},         // cut by a byte that does not continue it
               {"\xF4\x90\x80\x80", {0xF4, 1, false}},  // U+110000
               {"\xF5\x80\x80\x80", {0xF5, 1, false}},  // lead byte beyond U+10FFFF
               {"\xFF", {0xFF, 1, false}}};
  for (const auto& [bytes, want] : cases) {
    const Utf8Step got = DecodeUtf8(bytes, 0);
    EXPECT_EQ(got.value, want.value) << testing::PrintToString(bytes);
    EXPECT_EQ(got.length, want.length) << testing::PrintToString(bytes);
    EXPECT_EQ(got.valid, want.valid) << testing::PrintToString(bytes);
  }
  EXPECT_EQ(DecodeUtf8("ab\xC3\xA9", 2).value, 0xE9u);  // decodes at the position asked for
}

}  // namespace
}  // namespace ds
