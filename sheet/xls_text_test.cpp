#include "sheet/xls_text.h"

#include <gtest/gtest.h>

#include <string>

#include "sheet/xls_test_reader.h"

namespace ds {
namespace {

TEST(EncodeXlsTextTest, StoresTheCharactersMeant) {
  const std::tuple<const char*, std::string, bool, std::u16string> cases[] = {
      {"empty", "", false, u""},
      {"ascii", "Reallocated Sectors", false, u"Reallocated Sectors"},
      {"control characters", std::string("a\0b\tc", 5), false, std::u16string(u"a\0b\tc", 5)},
      {"latin1 stays compressed", "caf\xC3\xA9 \xC3\xBF", false, u"caf\u00E9 \u00FF"},
      {"euro needs utf16", "5 \xE2\x82\xAC", true, u"5 \u20AC"},
      {"mixed latin1 and cjk", "\xC3\xA9\xE6\xB8\xA9", true, u"\u00E9\u6E29"},
      {"astral as surrogate pair", "\xF0\x9F\x98\x80!", true, u"\U0001F600!"},
      {"lone 1252 byte", "caf\xE9", false, u"caf\u00E9"},
      {"1252 high range", "\x80\x9F", true, u"\u20AC\u0178"},
      {"1252 undefined byte", "\x81", false, u"\u0081"},
      {"truncated sequence", "a\xE2\x82", true, u"a\u00E2\u201A"},
      {"stray continuation", "\xA9x", false, u"\u00A9x"},
      {"overlong slash", "\xC0\xAF", false, u"\u00C0\u00AF"},
      {"overlong three bytes", "\xE0\x80\xAF", true, u"\u00E0\u20AC\u00AF"},
      {"encoded surrogate", "\xED\xA0\x80", true, u"\u00ED\u00A0\u20AC"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", true, u"\u00F4\u0090\u20AC\u20AC"},
      {"largest code point", "\xF4\x8F\xBF\xBF", true, u"\U0010FFFF"}};
  for (const auto& [what, input, wide, shown] : cases) {
    SCOPED_TRACE(what);
    const std::string encoded = EncodeXlsText(input);
    ASSERT_FALSE(encoded.empty());
    EXPECT_EQ(static_cast<unsigned char>(encoded[0]), wide ? kXlsUncompressed : kXlsCompressed);
    EXPECT_EQ(testing::EncodedUnits(encoded), shown);
    EXPECT_EQ(XlsTextUnits(encoded), shown.size());
    EXPECT_EQ(encoded.size(), 1 + shown.size() * (wide ? 2 : 1));
  }
}

TEST(EncodeXlsTextLimitTest, LongTextsAreCutAtTheLimitButNeverInsideASurrogatePair) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  const std::tuple<const char*, std::string, std::size_t, std::size_t> cases[] = {
      {"ascii at limit", std::string(10, 'a'), 10, 10},
      {"ascii over limit", std::string(11, 'a'), 10, 10},
      {"latin1 over limit", std::string(6, '\xE9'), 4, 4},
      {"pair fits", "abcd" + emoji, 6, 6},
      {"pair would straddle", "abcde" + emoji, 6, 5},
      {"cell limit", std::string(40000, 'x'), kMaxXlsTextUnits, 32767}};
  for (const auto& [what, input, limit, count] : cases) {  // count: units kept
    const std::string encoded = EncodeXlsText(input, limit);
    EXPECT_EQ(XlsTextUnits(encoded), count) << what;
    const std::u16string units = testing::EncodedUnits(encoded);
    ASSERT_FALSE(units.empty()) << what;
    EXPECT_FALSE(units.back() >= 0xD800 && units.back() <= 0xDBFF) << what;
  }
}

}  // namespace
}  // namespace ds
