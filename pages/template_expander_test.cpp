#include "pages/template_expander.h"

#include <gtest/gtest.h>

#include <fstream>

#include "pages/page_format.h"
#include "pages/unicode_text_file.h"
#include "tests/temp_folder.h"
#include "text/html_escape.h"

namespace ds {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

PageFields Fields(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  PageFields fields;
  for (auto& [key, value] : pairs)
    fields.Add(key, value);
  return fields;
}

TEST(ReplaceFields, ReplacesInKeyOrder) {
  const std::tuple<const char*, std::string, PageFields, std::string> cases[] = {
      // clang-format off
      {"no keys", "<p>STR_A</p>", {}, "<p>STR_A</p>"},
      {"absent key", "abc", Fields({{"STR_X", "1"}}), "abc"},
      {"three occurrences", "STR_A-STR_A-STR_A", Fields({{"STR_A", "x"}}), "x-x-x"},
      {"value holding a later key is replaced again", "STR_A", Fields({{"STR_A", "[STR_B]"}, {"STR_B", "b"}}), "[b]"},
      {"value holding an earlier key stays", "STR_B", Fields({{"STR_A", "a"}, {"STR_B", "STR_A"}}), "STR_A"},
      {"prefix key spoils the longer one", "STR_DISK_SEL", Fields({{"STR_DISK", "d"}, {"STR_DISK_SEL", "s"}}), "d_SEL"},
      {"value containing its own key is not re-scanned", "STR_A", Fields({{"STR_A", "STR_A!"}}), "STR_A!"},
      {"empty key matches nothing", "abc", Fields({{"", "x"}}), "abc"},
      {"later key spanning a value and the template", "aXRb", Fields({{"X", "ST"}, {"STR", "!"}}), "a!b"},
      {"later key spanning three short values", "XYZ", Fields({{"X", "S"}, {"Y", "T"}, {"Z", "R"}, {"STR", "ok"}}), "ok"},
      {"overlapping occurrences: leftmost first", "aaa", Fields({{"aa", "b"}}), "ba"},
      {"empty value removes the key", "<STR_A>", Fields({{"STR_A", ""}, {"<>", "[]"}}), "[]"},
      // clang-format on
  };
  for (const auto& [name, text, fields, expected] : cases)
    EXPECT_EQ(ReplaceFields(text, fields), expected) << name;
}

TEST(ExpandTemplate, WritesCutCrLfPagesAtomically) {
  TempFolder folder;
  const std::string tmp = folder.path() + "page.tmp", out = folder.path() + "page.html";
  WriteFile(tmp, "<html>\r\n<b>STR_MODEL</b>\n</html>trailing\r\njunk");
  std::string message;
  ASSERT_EQ(ExpandTemplate(tmp, out, Fields({{"STR_MODEL", "QRA X50"}}), &message), 1) << message;
  EXPECT_EQ(ReadTextFile(out), "<html>\r\n<b>QRA X50</b>\r\n</html>");

  WriteFile(tmp, std::string("<p>a</p>\0</html>", 16));  // nothing after a NUL reaches the page
  ASSERT_EQ(ExpandTemplate(tmp, out, {}, &message), 1);
  EXPECT_EQ(ReadTextFile(out), "<p>a</p>");
  EXPECT_EQ(ExpandTemplate(folder.path() + "missing.tmp", out, {}, &message), 0);
  EXPECT_EQ(ReadTextFile(out), "<p>a</p>");  // a missing template touches nothing
  message.clear();
  EXPECT_EQ(ExpandTemplate(tmp, folder.path() + "no/such/folder.html", {}, &message), 0);
  EXPECT_FALSE(message.empty());  // an output that cannot be written fails and says why
}

TEST(ExpandTemplateWide, RoundTripsThroughUtf16) {
  TempFolder folder;
  const std::string tmp = folder.path() + "disk.tmp", out = folder.path() + "disk.html";
  const auto wide = [](const std::string& text) {  // Latin-1 text as UTF-16LE
    std::string bytes;
    for (char c : text)
      bytes += std::string{c, '\0'};
    return bytes;
  };
  // BOM, "<p>STR_T</p>", then U+0141 (a character above U+00FF) and U+00B0.
  WriteFile(tmp, "\xFF\xFE" + wide("<p>STR_T</p>") + std::string("\x41\x01\xB0\x00", 4));
  std::string message;
  ASSERT_EQ(ExpandTemplateWide(tmp, out, Fields({{"STR_T", "40\x80"}}), &message), 1) << message;
  // Written BOM, old BOM as U+00FF, 1252's 0x80 as U+20AC, U+0141 cut to its low byte.
  const std::string expected = "\xFF\xFE" + wide("\xFF<p>40") + "\xAC\x20" + wide("</p>A\xB0");
  EXPECT_EQ(ReadTextFile(out), expected);
  EXPECT_EQ(ExpandTemplateWide(folder.path() + "none.tmp", out, {}, &message), 0);
}

TEST(PageText, EscapingFormattingAndCodePages) {
  EXPECT_EQ(HtmlEscape("QRA X50 \"<b>&'"), "QRA X50 &quot;&lt;b&gt;&amp;&#39;");

  const std::pair<std::int64_t, const char*> gigabytes[] = {
      {0, "  0.00|GB"}, {(1LL << 30) / 2, "  0.50|GB"}, {2048LL << 30, "2048.00|GB"}};
  for (const auto& [bytes, text] : gigabytes)
    EXPECT_EQ(FormatGigabytes(bytes).value + "|" + FormatGigabytes(bytes).unit, text) << bytes;

  EXPECT_EQ(Utf8ToWindows1252("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 \x80");
  EXPECT_EQ(Utf8ToWindows1252("\xE6\x97\xA5"), "?");   // no such character in the code page
  EXPECT_EQ(Utf8ToWindows1252("Caf\xE9"), "Caf\xE9");  // already 8-bit: unchanged
  EXPECT_EQ(Utf8ToWindows1252("\xC3"), "\xC3");        // truncated sequence kept as a byte
  EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "\xED\xA0\x80");  // surrogates are not UTF-8
}

}  // namespace
}  // namespace ds
