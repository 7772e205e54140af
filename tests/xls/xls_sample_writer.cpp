// xls_sample_writer OUTPUT_FOLDER: the workbooks check_workbooks.py reads (and expects).
#include <cstdio>
#include <string>
#include <vector>

#include "sheet/xls_workbook.h"

namespace {

using namespace ds;

bool Save(XlsWorkbook& book, const std::string& path) {
  std::string message;
  const bool saved = book.SaveAs(path, &message);
  if (!saved)
    std::fprintf(stderr, "xls_sample_writer: %s: %s\n", path.c_str(), message.c_str());
  return saved;
}

void Grid(XlsSheet* sheet, int rows, int columns) {
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      sheet->Cell(r, c)->SetText("r" + std::to_string(r) + "c" + std::to_string(c));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xls_sample_writer OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";

  // The SST across CONTINUE records: long strings split inside, texts outside Latin-1.
  XlsWorkbook many;
  many.New(1);
  many.RenameSheet("Sheet1", "SMART");
  XlsSheet* sheet = many.GetSheet("SMART");
  for (int r = 0; r < 3000; ++r)
    sheet->Cell(r, 0)->SetText("distinct text number " + std::to_string(r));
  sheet->Cell(3000, 0)->SetText(std::string(20000, 'L'));
  std::string wide, emoji;
  for (int i = 0; i < 9000; ++i)
    wide += (i % 3 == 0) ? "\xE2\x82\xAC" : (i % 3 == 1) ? "a" : "\xC3\xA9";  // € a é
  for (int i = 0; i < 5000; ++i)
    emoji += "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair each
  sheet->Cell(3001, 1)->SetText(wide);
  sheet->Cell(3002, 2)->SetText(emoji);
  for (int r = 3003; r < 3400; ++r)
    sheet->Cell(r, 3)->SetText("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " +
                               std::to_string(r));

  // Characters outside Latin-1, and bytes that are not UTF-8 (read as Windows-1252).
  XlsWorkbook unicode;
  unicode.New(1);
  unicode.RenameSheet("Sheet1", "Identify");
  const char* const texts[4][2] = {{"caf\xC3\xA9", "5 \xE2\x82\xAC"},
                                   {"\xE6\xB8\xA9\xE5\xBA\xA6", "caf\xE9"},
                                   {"\x80 and \x9F", "\xC3"},
                                   {"\xED\xA0\x80", "tab\tnew\nline"}};
  for (int i = 0; i < 8; ++i)
    unicode.GetSheet("Identify")->Cell(i / 2, i % 2)->SetText(texts[i / 2][i % 2]);

  // Two sheets: the BOUNDSHEET positions of both.
  XlsWorkbook two;
  two.New(2);
  two.RenameSheet("Sheet2", "Second");
  Grid(two.GetSheet("Sheet1"), 40, 2);
  two.GetSheet("Second")->Cell(5, 7)->SetText("on the second sheet");

  // A full sheet: 65,536 rows of 8 texts, a FAT beyond the header's 109 slots.
  XlsWorkbook full;
  full.New(1);
  full.RenameSheet("Sheet1", "Health");
  Grid(full.GetSheet("Health"), XlsSheet::kRowCount, 8);

  const bool saved = Save(many, folder + "continue.xls") && Save(unicode, folder + "unicode.xls") &&
                     Save(two, folder + "two_sheets.xls") && Save(full, folder + "full_sheet.xls");
  return saved ? 0 : 1;
}
