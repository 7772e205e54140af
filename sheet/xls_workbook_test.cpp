#include "sheet/xls_workbook.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "sheet/xls_test_reader.h"
#include "sheet/xls_text.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using ::testing::ElementsAre;
using namespace testing;  // the record type numbers

std::u16string Units(std::string_view text) {
  const std::string encoded = EncodeXlsText(text);
  std::u16string units;
  const bool wide = encoded[0] & 1;
  for (std::size_t i = 1; i < encoded.size(); i += wide ? 2 : 1)
    units.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(encoded[i]) |
                              (wide ? static_cast<unsigned char>(encoded[i + 1]) << 8 : 0)));
  return units;
}

using testing::ParsedWorkbook;

ParsedWorkbook Parse(const std::string& path) {
  std::string file, message;
  if (!ReadWholeFile(path, 1u << 30, &file, &message)) {
    ParsedWorkbook failed;
    failed.error = message;
    return failed;
  }
  return testing::ParseWorkbook(file);
}

class XlsWorkbookTest : public ::testing::Test {
 protected:
  std::string Save(XlsWorkbook& book, const std::string& name = "book.xls") {
    const std::string path = folder_.path() + name;
    std::string message;
    EXPECT_TRUE(book.SaveAs(path, &message)) << message;
    return path;
  }
  TempFolder folder_;
};

struct RenameCase {
  const char* oldName;
  const char* newName;
  bool renamed;
  std::vector<std::string> namesAfter;
};

TEST(XlsWorkbookRenameTest, RenamesOnlyAnExistingSheetToAFreeValidName) {
  const std::string longest(31, 'n');
  const std::string tooLong(32, 'n');
  const RenameCase cases[] = {
      {"Sheet1", "SMART", true, {"SMART", "Sheet2"}},
      {"Missing", "Health", false, {"Sheet1", "Sheet2"}},
      {"sheet1", "Health", false, {"Sheet1", "Sheet2"}},  // names compare case-sensitively
      {"Sheet1", "Sheet2", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "SHEET2", false, {"Sheet1", "Sheet2"}},  // taken in another letter case
      {"Sheet1", "Sheet1", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "SHEET1", true, {"SHEET1", "Sheet2"}},
      {"Sheet1", "", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", longest.c_str(), true, {longest, "Sheet2"}},
      {"Sheet1", tooLong.c_str(), false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "a/b", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "a[1]", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "why?", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "'quoted'", false, {"Sheet1", "Sheet2"}},
      {"Sheet1", "R\xC3\xA9sum\xC3\xA9", true, {"R\xC3\xA9sum\xC3\xA9", "Sheet2"}},
  };
  for (const RenameCase& c : cases) {
    XlsWorkbook book;
    book.New(2);
    EXPECT_EQ(book.RenameSheet(c.oldName, c.newName), c.renamed)
        << c.oldName << " -> " << c.newName;
    for (const std::string& name : c.namesAfter)
      EXPECT_NE(book.GetSheet(name), nullptr) << c.newName << ": " << name;
    if (!c.renamed && std::string(c.newName) != "Sheet1" && std::string(c.newName) != "Sheet2") {
      EXPECT_EQ(book.GetSheet(c.newName), nullptr) << c.newName;
    }
  }
}

TEST_F(XlsWorkbookTest, RenamingAMissingSheetLeavesSheet1InTheFile) {
  XlsWorkbook book;
  book.New(1);
  EXPECT_FALSE(book.RenameSheet("Nope", "Health"));
  EXPECT_EQ(book.GetSheet("Health"), nullptr);
  ASSERT_NE(book.GetSheet("Sheet1"), nullptr);
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.sheets.size(), 1u);
  EXPECT_EQ(parsed.sheets[0].second, u"Sheet1");
}

TEST(XlsWorkbookNewTest, MakesNumberedEmptySheetsAndDropsEarlierContent) {
  XlsWorkbook book;
  EXPECT_EQ(book.GetSheet("Sheet1"), nullptr);
  const struct {
    int count;
    int made;
  } cases[] = {{1, 1}, {3, 3}, {0, 1}, {-5, 1}, {1000, XlsWorkbook::kMaxSheets}};
  for (const auto& c : cases) {
    book.New(c.count);
    for (int i = 1; i <= c.made; ++i)
      EXPECT_NE(book.GetSheet("Sheet" + std::to_string(i)), nullptr) << c.count;
    EXPECT_EQ(book.GetSheet("Sheet" + std::to_string(c.made + 1)), nullptr) << c.count;
  }
  book.New(1);
  book.GetSheet("Sheet1")->Cell(4, 4)->SetText("old");
  book.New(1);
  EXPECT_TRUE(book.GetSheet("Sheet1")->usedRange().empty);
  EXPECT_EQ(book.GetSheet("Sheet1")->rowSpan(), 0);
}

TEST(XlsSheetCellTest, HandsOutCellsOnlyInsideTheGridAndKeepsTheirAddresses) {
  const struct {
    int row, column;
    bool exists;
  } cases[] = {{0, 0, true},      {65535, 255, true}, {-1, 0, false},     {0, -1, false},
               {65536, 0, false}, {0, 256, false},    {70000, 300, false}};
  for (const auto& c : cases) {
    XlsSheet sheet("S");
    EXPECT_EQ(sheet.Cell(c.row, c.column) != nullptr, c.exists) << c.row << "," << c.column;
    EXPECT_EQ(sheet.usedRange().empty, !c.exists);
  }
  XlsSheet sheet("S");
  XlsCell* first = sheet.Cell(7, 100);
  first->SetText("kept");
  for (int column = 0; column < 256; ++column)
    sheet.Cell(7, column);
  for (int row = 0; row < 2000; ++row)
    sheet.Cell(row, 3);
  EXPECT_EQ(sheet.Cell(7, 100), first);
  EXPECT_EQ(first->encodedText(), EncodeXlsText("kept"));
  EXPECT_EQ(sheet.rowCells(7).size(), 256u);
}

TEST(XlsSheetCellTest, SetTextReplacesTheWholeTextWhateverTheLengths) {
  // Shorter texts reuse the old room, longer ones move; neighbours must stay intact.
  const std::string sequence[] = {"medium text",
                                  "",
                                  "a much longer text than before",
                                  "short",
                                  std::string(30000, 'z'),
                                  "\xE2\x82\xAC end",
                                  std::string(20000, 'q') + "\xC3\xA9"};
  XlsSheet sheet("S");
  XlsCell* before = sheet.Cell(0, 0);
  XlsCell* cell = sheet.Cell(0, 1);
  XlsCell* after = sheet.Cell(0, 2);
  before->SetText("left");
  after->SetText("right");
  EXPECT_FALSE(cell->hasText());
  for (const std::string& text : sequence) {
    cell->SetText(text);
    EXPECT_TRUE(cell->hasText());
    EXPECT_EQ(cell->encodedText(), EncodeXlsText(text)) << text.substr(0, 20);
    EXPECT_EQ(before->encodedText(), EncodeXlsText("left"));
    EXPECT_EQ(after->encodedText(), EncodeXlsText("right"));
  }
}

TEST_F(XlsWorkbookTest, HeaderOnlySheetHasOneRowItsLabelsAndOneDbCell) {
  XlsWorkbook book;
  book.New(1);
  ASSERT_TRUE(book.RenameSheet("Sheet1", "SMART"));
  XlsSheet* sheet = book.GetSheet("SMART");
  const char* header[] = {"ID", "Name", "Value", "Worst", "Threshold", "Raw", "Status", "Note"};
  for (int c = 0; c < 8; ++c)
    sheet->Cell(0, c)->SetText(header[c]);
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  EXPECT_TRUE(parsed.inMiniStream);

  std::vector<std::uint32_t> globals = {kBof, kWindow1};
  globals.insert(globals.end(), 4, kFont);
  globals.insert(globals.end(), 21, kXf);
  globals.insert(globals.end(), 6, kStyle);
  globals.insert(globals.end(), {kBoundSheet, kSst, kEof});
  EXPECT_EQ(parsed.globalTypes, globals);
  // The fixed records hold what the format asks of a plain workbook in 10-point Arial.
  const auto hex = [](const std::string& bytes) {
    std::string text;
    for (unsigned char byte : bytes)
      text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
    return text;
  };
  const std::map<std::uint32_t, std::string> fixed = {
      {kWindow1, "780078001f3b542438000000000001005802"},
      {kFont, "c8000000ff7f9001000000000000050141007200690061006c00"},
      {kXf, "00000000f5ff200000000000000000000000c020"},
      {kStyle, "008000ff"},
      {kWindow2, "b60600000000400000000000000000000000"}};
  for (const auto& [type, body] : parsed.records) {
    if (fixed.count(type) != 0) {
      EXPECT_EQ(hex(body), fixed.at(type)) << std::hex << type;
    }
  }
  EXPECT_EQ(hex(parsed.records[0].second), "00060500a019cd07c9c0000006030000");   // globals BOF
  EXPECT_EQ(hex(parsed.records[36].second), "00061000a019cd07c9c0000006030000");  // sheet BOF
  EXPECT_EQ(parsed.records[33].second.substr(4, 2), std::string(2, '\0'));        // visible sheet
  EXPECT_EQ(hex(parsed.records[37].second.substr(0, 4) + parsed.records[37].second.substr(12, 4)),
            "0000000000000000");  // INDEX reserved fields

  ASSERT_EQ(parsed.sheetData.size(), 1u);
  const ParsedWorkbook::Sheet& s = parsed.sheetData[0];
  std::vector<std::uint32_t> types = {kBof, kIndex, kDimensions, kRow};
  types.insert(types.end(), 8, kLabelSst);
  types.insert(types.end(), {kDbCell, kWindow2, kEof});
  EXPECT_EQ(s.types, types);
  EXPECT_EQ(parsed.sheets[0].first, s.bofOffset);
  EXPECT_EQ(parsed.sheets[0].second, u"SMART");
  EXPECT_EQ(s.indexDbCells, (std::vector<std::uint32_t>(s.dbCells.begin(), s.dbCells.end())));
  EXPECT_EQ(s.indexFirst, 0u);
  EXPECT_EQ(s.indexEnd, 1u);
  EXPECT_EQ(parsed.sstTotal, 8u);
  EXPECT_EQ(parsed.strings.size(), 8u);
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(s.cells.at({0, c}), Units(header[c]));
}

TEST_F(XlsWorkbookTest, EqualTextsShareOneEntryInOrderOfFirstUseAndBothCount) {
  XlsWorkbook book;
  book.New(1);
  XlsSheet* sheet = book.GetSheet("Sheet1");
  // Set in reverse: the table follows cell order, not the order of the calls.
  sheet->Cell(3, 1)->SetText("later");
  sheet->Cell(2, 5)->SetText("same");
  sheet->Cell(0, 2)->SetText("same");
  sheet->Cell(0, 1)->SetText("first");
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sstTotal, 4u);
  EXPECT_THAT(parsed.strings, ElementsAre(u"first", u"same", u"later"));
  std::vector<std::uint32_t> indexes;
  for (const auto& cell : parsed.sheetData[0].labels)
    indexes.push_back(cell.sst);
  EXPECT_THAT(indexes, ElementsAre(0u, 1u, 1u, 2u));
}

TEST_F(XlsWorkbookTest, RowBlocksOf32WithDbCellsListedInIndex) {
  const struct {
    std::vector<int> rows;
    std::size_t blocks;
  } cases[] = {{{0}, 1}, {{0, 31}, 1}, {{0, 32}, 2}, {{5, 40, 200}, 3}, {{31, 32, 63, 64}, 3}};
  for (const auto& c : cases) {
    XlsWorkbook book;
    book.New(1);
    for (int row : c.rows) {
      for (int column = 0; column < 3; ++column)
        book.GetSheet("Sheet1")->Cell(row, column)->SetText(std::to_string(row * 10 + column));
    }
    const ParsedWorkbook parsed = Parse(Save(book));
    ASSERT_EQ(parsed.error, "") << c.rows.back();
    const ParsedWorkbook::Sheet& s = parsed.sheetData[0];
    EXPECT_EQ(s.dbCells.size(), c.blocks);
    EXPECT_EQ(s.indexDbCells, (std::vector<std::uint32_t>(s.dbCells.begin(), s.dbCells.end())));
    EXPECT_EQ(s.indexFirst, static_cast<std::uint32_t>(c.rows.front()));
    EXPECT_EQ(s.indexEnd, static_cast<std::uint32_t>(c.rows.back() + 1));
    EXPECT_EQ(s.cells.size(), c.rows.size() * 3);
  }
  // 33 full rows: two blocks, two DBCELLs.
  XlsWorkbook book;
  book.New(1);
  for (int row = 0; row < 33; ++row)
    book.GetSheet("Sheet1")->Cell(row, 0)->SetText("row " + std::to_string(row));
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sheetData[0].dbCells.size(), 2u);
  EXPECT_EQ(parsed.sheetData[0].indexDbCells.size(), 2u);
}

TEST_F(XlsWorkbookTest, DimensionsCoverEveryCellHandedOut) {
  XlsWorkbook book;
  book.New(1);
  XlsSheet* sheet = book.GetSheet("Sheet1");
  sheet->Cell(3, 2)->SetText("a");
  sheet->Cell(10, 7);  // taken but left empty
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  const ParsedWorkbook::Sheet& s = parsed.sheetData[0];
  EXPECT_EQ(s.dimFirstRow, 3u);
  EXPECT_EQ(s.dimRowEnd, 11u);
  EXPECT_EQ(s.dimFirstColumn, 2u);
  EXPECT_EQ(s.dimColumnEnd, 8u);
  EXPECT_EQ(s.indexFirst, 3u);  // INDEX counts rows with data only
  EXPECT_EQ(s.indexEnd, 4u);
  EXPECT_EQ(s.labels.size(), 1u);
}

TEST_F(XlsWorkbookTest, EmptySheetStillMakesAValidWorkbook) {
  XlsWorkbook book;
  book.New(1);
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sstTotal, 0u);
  EXPECT_EQ(parsed.sheetData[0].types,
            (std::vector<std::uint32_t>{kBof, kIndex, kDimensions, kWindow2, kEof}));
}

TEST_F(XlsWorkbookTest, SharedStringsSplitAtStringBoundariesAndRepeatTheOptionByte) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  std::string pairs;
  for (int i = 0; i < 6000; ++i)
    pairs += emoji;
  const struct {
    const char* what;
    std::vector<std::string> texts;
    int minContinues;
    int splitStrings;
  } cases[] = {
      {"many short", std::vector<std::string>(2000, ""), 1, 0},
      {"long compressed", {std::string(20000, 'L')}, 2, 1},
      {"long utf16", {std::string(9000, 'a') + "\xE2\x82\xAC" + std::string(9000, 'b')}, 4, 1},
      {"surrogate pairs", {pairs}, 2, 1},
      {"exactly one record", {std::string(8224 - 3 - 8, 'x'), std::string(8221, 'y')}, 1, 0},
      {"one byte more", {std::string(8224 - 3 - 8 + 1, 'x'), std::string(8222, 'y')}, 2, 1},
  };
  for (const auto& c : cases) {
    XlsWorkbook book;
    book.New(1);
    std::vector<std::string> texts = c.texts;
    if (texts.size() == 2000) {
      for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = "distinct text " + std::to_string(i);
    }
    for (std::size_t i = 0; i < texts.size(); ++i)
      book.GetSheet("Sheet1")->Cell(static_cast<int>(i), 0)->SetText(texts[i]);
    const ParsedWorkbook parsed = Parse(Save(book));
    ASSERT_EQ(parsed.error, "") << c.what;
    EXPECT_GE(parsed.continues, c.minContinues) << c.what;
    EXPECT_EQ(parsed.splitStrings, c.splitStrings) << c.what;
    ASSERT_EQ(parsed.strings.size(), texts.size()) << c.what;
    for (std::size_t i = 0; i < texts.size(); ++i)
      EXPECT_TRUE(parsed.strings[i] == Units(texts[i])) << c.what << " text " << i;
  }
}

TEST_F(XlsWorkbookTest, BoundSheetPositionsPointAtEachSheetsBof) {
  XlsWorkbook book;
  book.New(3);
  for (int s = 1; s <= 3; ++s) {
    for (int row = 0; row < 40 * s; ++row)
      book.GetSheet("Sheet" + std::to_string(s))->Cell(row, s)->SetText("s" + std::to_string(s));
  }
  const ParsedWorkbook parsed = Parse(Save(book));
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.sheets.size(), 3u);
  ASSERT_EQ(parsed.sheetData.size(), 3u);
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(parsed.sheets[s].first, parsed.sheetData[s].bofOffset);
    EXPECT_EQ(parsed.sheetData[s].labels.size(), 40u * (s + 1));
  }
  EXPECT_EQ(parsed.sstTotal, 240u);
  EXPECT_EQ(parsed.strings.size(), 3u);
}

TEST_F(XlsWorkbookTest, SaveAsReplacesAnExistingFileWhole) {
  XlsWorkbook big;
  big.New(1);
  for (int row = 0; row < 3000; ++row)
    big.GetSheet("Sheet1")->Cell(row, 0)->SetText("row " + std::to_string(row));
  const std::string path = Save(big);
  const auto bigSize = std::filesystem::file_size(path);
  XlsWorkbook small;
  small.New(1);
  small.GetSheet("Sheet1")->Cell(0, 0)->SetText("small");
  Save(small);
  EXPECT_LT(std::filesystem::file_size(path), bigSize);
  const ParsedWorkbook parsed = Parse(path);
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sstTotal, 1u);
}

TEST_F(XlsWorkbookTest, SaveAsFailsWithoutWritingAnything) {
  XlsWorkbook noSheets;
  std::string message;
  EXPECT_FALSE(noSheets.SaveAs(folder_.path() + "none.xls", &message));
  EXPECT_FALSE(message.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_.path() + "none.xls"));

  XlsWorkbook book;
  book.New(1);
  book.GetSheet("Sheet1")->Cell(0, 0)->SetText("x");
  message.clear();
  EXPECT_FALSE(book.SaveAs(folder_.path() + "missing/folder/book.xls", &message));
  EXPECT_FALSE(message.empty());

  // A folder stands at the target: it stays, and no temporary file is left beside it.
  const std::string target = folder_.path() + "taken.xls";
  std::filesystem::create_directory(target);
  std::filesystem::create_directory(target + "/inside");
  EXPECT_FALSE(book.SaveAs(target));
  EXPECT_TRUE(std::filesystem::is_directory(target + "/inside"));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
    ++entries;
    EXPECT_EQ(entry.path().filename(), "taken.xls");
  }
  EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace ds
