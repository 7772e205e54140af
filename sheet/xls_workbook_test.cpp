#include "sheet/xls_workbook.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sheet/xls_test_reader.h"
#include "sheet/xls_text.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using namespace testing;  // the record type numbers

class XlsWorkbookTest : public ::testing::Test {
 protected:
  ParsedWorkbook SaveAndParse(XlsWorkbook& book) {
    std::string message;
    EXPECT_TRUE(book.SaveAs(folder_.path() + "book.xls", &message)) << message;
    return testing::ParseWorkbook(folder_.path() + "book.xls");
  }
  TempFolder folder_;
};

TEST(XlsWorkbookRenameTest, RenamesOnlyAnExistingSheetToAFreeValidName) {
  const std::string longest(31, 'n'), tooLong(32, 'n');
  const std::tuple<const char*, const char*, bool> cases[] = {
      // old name, new name, renamed
      {"Sheet1", "SMART", true},
      {"Missing", "Health", false},
      {"Sheet1", "Sheet2", false},
      {"sheet1", "Health", false},  // names compare case-sensitively
      {"Sheet1", "SHEET2", false},  // taken in another letter case
      {"Sheet1", "Sheet1", false},
      {"Sheet1", "SHEET1", true},
      {"Sheet1", "", false},
      {"Sheet1", longest.c_str(), true},
      {"Sheet1", tooLong.c_str(), false},
      {"Sheet1", "a/b", false},
      {"Sheet1", "a[1]", false},
      {"Sheet1", "why?", false},
      {"Sheet1", "'quoted'", false},
      {"Sheet1", "R\xC3\xA9sum\xC3\xA9", true},
  };
  for (const auto& [oldName, newName, renamed] : cases) {
    XlsWorkbook book;
    book.New(2);
    EXPECT_EQ(book.RenameSheet(oldName, newName), renamed) << oldName << " -> " << newName;
    EXPECT_NE(book.GetSheet(renamed ? newName : "Sheet1"), nullptr) << newName;
    EXPECT_NE(book.GetSheet("Sheet2"), nullptr) << newName;
    if (!renamed && std::string(newName) != "Sheet1" && std::string(newName) != "Sheet2") {
      EXPECT_EQ(book.GetSheet(newName), nullptr) << newName;
    }
  }
}

TEST(XlsWorkbookNewTest, MakesNumberedEmptySheetsAndDropsEarlierContent) {
  XlsWorkbook book;
  EXPECT_EQ(book.GetSheet("Sheet1"), nullptr);
  const std::pair<int, int> cases[] = {{1, 1}, {3, 3}, {0, 1}, {-5, 1}, {1000, 256}};
  for (const auto& [count, made] : cases) {
    book.New(count);
    for (int i = 1; i <= made; ++i)
      EXPECT_NE(book.GetSheet("Sheet" + std::to_string(i)), nullptr) << count;
    EXPECT_EQ(book.GetSheet("Sheet" + std::to_string(made + 1)), nullptr) << count;
  }
  book.New(1);
  book.GetSheet("Sheet1")->Cell(4, 4)->SetText("old");
  book.New(1);
  EXPECT_TRUE(book.GetSheet("Sheet1")->usedRange().empty);
  EXPECT_EQ(book.GetSheet("Sheet1")->rowSpan(), 0);
}

TEST(XlsSheetCellTest, CellsInsideTheGridKeepAddressAndTextWhateverTheLengths) {
  const std::tuple<int, int, bool> grid[] = {{0, 0, true},   {65535, 255, true}, {-1, 0, false},
                                             {0, -1, false}, {65536, 0, false},  {0, 256, false}};
  for (const auto& [row, column, exists] : grid) {
    XlsSheet sheet("S");
    EXPECT_EQ(sheet.Cell(row, column) != nullptr, exists) << row << "," << column;
    EXPECT_EQ(sheet.usedRange().empty, !exists);
  }
  XlsSheet sheet("S");
  XlsCell *cell = sheet.Cell(7, 100), *before = sheet.Cell(7, 99), *after = sheet.Cell(7, 101);
  before->SetText("left"), after->SetText("right");
  EXPECT_FALSE(cell->hasText());
  for (int column = 0; column < 256; ++column)
    sheet.Cell(7, column);
  for (int row = 0; row < 2000; ++row)
    sheet.Cell(row, 3);
  EXPECT_EQ(sheet.Cell(7, 100), cell);
  EXPECT_EQ(sheet.rowCells(7).size(), 256u);
  // Shorter texts reuse the old room, longer ones move; neighbours must stay intact.
  for (const std::string& text :
       {std::string("medium text"), std::string(), std::string("a much longer text than before"),
        std::string("short"), std::string(30000, 'z'), std::string("\xE2\x82\xAC end"),
        std::string(20000, 'q') + "\xC3\xA9"}) {
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
  const ParsedWorkbook parsed = SaveAndParse(book);
  ASSERT_EQ(parsed.error, "");

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
  for (const auto& [offset, type, body] : parsed.records) {
    if (fixed.count(type) != 0) {
      EXPECT_EQ(hex(body), fixed.at(type)) << std::hex << type;
    }
  }
  EXPECT_EQ(hex(parsed.records[0].body), "00060500a019cd07c9c0000006030000");   // globals BOF
  EXPECT_EQ(hex(parsed.records[36].body), "00061000a019cd07c9c0000006030000");  // sheet BOF
  EXPECT_EQ(parsed.records[33].body.substr(4, 2), std::string(2, '\0'));        // visible sheet
  EXPECT_EQ(hex(parsed.records[37].body.substr(0, 4) + parsed.records[37].body.substr(12, 4)),
            "0000000000000000");  // INDEX reserved fields

  ASSERT_EQ(parsed.sheetData.size(), 1u);
  const ParsedWorkbook::Sheet& s = parsed.sheetData[0];
  std::vector<std::uint32_t> types = {kBof, kIndex, kDimensions, kRow};
  types.insert(types.end(), 8, kLabelSst);
  types.insert(types.end(), {kDbCell, kWindow2, kEof});
  EXPECT_EQ(s.types, types);
  EXPECT_EQ(parsed.sheets[0], std::pair(std::uint32_t(s.bofOffset), std::u16string(u"SMART")));
  EXPECT_EQ(s.indexDbCells, s.dbCells);
  EXPECT_EQ(std::tuple(s.indexFirst, s.indexEnd, parsed.sstTotal, parsed.strings.size()),
            std::tuple(0u, 1u, 8u, std::size_t{8}));
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(s.cells.at({0, c}), EncodedUnits(EncodeXlsText(header[c])));
}

TEST_F(XlsWorkbookTest, EqualTextsShareOneEntryAndBoundSheetsPointAtEachSheetsBof) {
  XlsWorkbook book;
  book.New(3);
  for (int s = 1; s <= 3; ++s)
    for (int row = 4; row < 4 + 40 * s; ++row)
      book.GetSheet("Sheet" + std::to_string(s))->Cell(row, s)->SetText("s" + std::to_string(s));
  XlsSheet* sheet = book.GetSheet("Sheet1");
  // Set in reverse: the table follows cell order, not the order of the calls.
  sheet->Cell(3, 1)->SetText("later"), sheet->Cell(2, 5)->SetText("same");
  sheet->Cell(0, 2)->SetText("same"), sheet->Cell(0, 1)->SetText("first");
  const ParsedWorkbook parsed = SaveAndParse(book);
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sstTotal, 244u);
  EXPECT_EQ(parsed.strings,
            (std::vector<std::u16string>{u"first", u"same", u"later", u"s1", u"s2", u"s3"}));
  const auto& l = parsed.sheetData[0].labels;
  EXPECT_EQ((std::vector{l[0].sst, l[1].sst, l[2].sst, l[3].sst, l[4].sst}),
            (std::vector{0u, 1u, 1u, 2u, 3u}));
  ASSERT_EQ(parsed.sheets.size(), 3u);
  ASSERT_EQ(parsed.sheetData.size(), 3u);
  for (int s = 0; s < 3; ++s) {
    EXPECT_EQ(parsed.sheets[s].first, parsed.sheetData[s].bofOffset);
    EXPECT_EQ(parsed.sheetData[s].labels.size(), 40u * (s + 1) + (s == 0 ? 4 : 0));
  }
}

TEST_F(XlsWorkbookTest, RowBlocksOf32DimensionsAndIndexCoverTheCells) {
  const std::pair<std::vector<int>, std::size_t> cases[] = {
      // rows, DBCELL blocks
      {{}, 0}, {{0}, 1}, {{0, 31}, 1}, {{0, 32}, 2}, {{5, 40, 200}, 3}, {{31, 32, 63, 64}, 3}};
  for (const auto& [rows, blocks] : cases) {
    XlsWorkbook book;
    book.New(1);
    XlsSheet* sheet = book.GetSheet("Sheet1");
    for (int row : rows)
      for (int column = 2; column < 5; ++column)
        sheet->Cell(row, column)->SetText(std::to_string(row * 10 + column));
    if (!rows.empty())
      sheet->Cell(rows.back() + 3, 7);  // taken but left empty: in DIMENSIONS, not INDEX
    const ParsedWorkbook parsed = SaveAndParse(book);
    ASSERT_EQ(parsed.error, "") << rows.size();
    const ParsedWorkbook::Sheet& s = parsed.sheetData[0];
    EXPECT_EQ(s.dbCells.size(), blocks);
    EXPECT_EQ(s.indexDbCells, s.dbCells);
    EXPECT_EQ(s.cells.size(), rows.size() * 3);
    if (rows.empty()) {
      EXPECT_EQ(s.types, (std::vector<std::uint32_t>{kBof, kIndex, kDimensions, kWindow2, kEof}));
      continue;
    }
    const std::uint32_t first = rows.front(), last = rows.back();
    EXPECT_EQ(std::tuple(s.indexFirst, s.indexEnd, s.dimFirstRow, s.dimRowEnd, s.dimFirstColumn,
                         s.dimColumnEnd),
              std::tuple(first, last + 1, first, last + 4, 2u, 8u));
  }
}

TEST_F(XlsWorkbookTest, SharedStringsSplitAtStringBoundariesAndRepeatTheOptionByte) {
  std::string pairs;
  for (int i = 0; i < 6000; ++i)
    pairs += "\xF0\x9F\x98\x80";
  std::vector<std::string> distinct;
  for (int i = 0; i < 2000; ++i)
    distinct.push_back("distinct text " + std::to_string(i));
  // What, texts, CONTINUE records, strings split across records.
  const std::tuple<const char*, std::vector<std::string>, int, int> cases[] = {
      {"many short", distinct, 4, 0},
      {"long compressed", {std::string(20000, 'L')}, 2, 1},
      {"long utf16", {std::string(9000, 'a') + "\xE2\x82\xAC" + std::string(9000, 'b')}, 4, 1},
      {"surrogate pairs", {pairs}, 2, 1},
      {"exactly one record", {std::string(8224 - 3 - 8, 'x'), std::string(8221, 'y')}, 1, 0},
      {"one byte more", {std::string(8224 - 3 - 8 + 1, 'x'), std::string(8222, 'y')}, 2, 1},
  };
  for (const auto& [what, texts, continues, splitStrings] : cases) {
    XlsWorkbook book;
    book.New(1);
    for (std::size_t i = 0; i < texts.size(); ++i)
      book.GetSheet("Sheet1")->Cell(static_cast<int>(i), 0)->SetText(texts[i]);
    const ParsedWorkbook parsed = SaveAndParse(book);
    ASSERT_EQ(parsed.error, "") << what;
    EXPECT_EQ(parsed.continues, continues) << what;
    EXPECT_EQ(parsed.splitStrings, splitStrings) << what;
    ASSERT_EQ(parsed.strings.size(), texts.size()) << what;
    for (std::size_t i = 0; i < texts.size(); ++i)
      EXPECT_TRUE(parsed.strings[i] == EncodedUnits(EncodeXlsText(texts[i])))
          << what << " text " << i;
  }
}

TEST_F(XlsWorkbookTest, SaveAsReplacesAFileWholeAndFailsWithoutWritingAnything) {
  XlsWorkbook big, small;
  big.New(1), small.New(1);
  for (int row = 0; row < 3000; ++row)
    big.GetSheet("Sheet1")->Cell(row, 0)->SetText("row " + std::to_string(row));
  SaveAndParse(big);
  const auto bigSize = std::filesystem::file_size(folder_.path() + "book.xls");
  small.GetSheet("Sheet1")->Cell(0, 0)->SetText("small");
  const ParsedWorkbook parsed = SaveAndParse(small);
  EXPECT_LT(std::filesystem::file_size(folder_.path() + "book.xls"), bigSize);
  ASSERT_EQ(parsed.error, "");
  EXPECT_EQ(parsed.sstTotal, 1u);

  XlsWorkbook noSheets;
  for (auto [book, name] :
       {std::pair{&noSheets, "none.xls"}, std::pair{&small, "missing/folder/book.xls"}}) {
    std::string message;
    EXPECT_FALSE(book->SaveAs(folder_.path() + name, &message) || message.empty()) << name;
  }
  // A folder at the target stays, and no temporary file is left beside it.
  std::filesystem::remove(folder_.path() + "book.xls");
  const std::string target = folder_.path() + "taken.xls";
  std::filesystem::create_directories(target + "/inside");
  EXPECT_FALSE(small.SaveAs(target));
  EXPECT_TRUE(std::filesystem::is_directory(target + "/inside"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);
}

}  // namespace
}  // namespace ds
