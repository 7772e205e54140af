// Writes sample workbooks for readers written elsewhere (check_workbooks.py) and manifest.txt:
// "sample NAME ROWS SHEET..." then "cell SHEET ROW COLUMN TEXT" lines, names and texts in hex.
//
//   xls_sample_writer OUTPUT_FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "sheet/xls_workbook.h"

namespace {

using ds::XlsSheet;
using ds::XlsWorkbook;

struct Cell {
  int sheet, row, column;
  std::string text;  // UTF-8
};

std::string Hex(const std::string& text) {
  std::string out = "-";  // keeps an empty text a field of its own
  for (unsigned char c : text)
    out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
  return out;
}

// Saves a workbook of `sheets` holding `written` as NAME.xls; a reader must show `shown`.
bool Add(const std::string& folder, std::string& manifest, const std::string& name,
         const std::vector<std::string>& sheets, int rows, const std::vector<Cell>& written,
         const std::vector<Cell>& shown) {
  XlsWorkbook book;
  book.New(static_cast<int>(sheets.size()));
  for (std::size_t s = 0; s < sheets.size(); ++s)
    book.RenameSheet("Sheet" + std::to_string(s + 1), sheets[s]);
  for (const Cell& cell : written)
    book.GetSheet(sheets[cell.sheet])->Cell(cell.row, cell.column)->SetText(cell.text);
  std::string message;
  if (!book.SaveAs(folder + name + ".xls", &message)) {
    std::fprintf(stderr, "xls_sample_writer: %s: %s\n", name.c_str(), message.c_str());
    return false;
  }
  manifest += "sample " + name + " " + std::to_string(rows);
  for (const std::string& sheet : sheets)
    manifest += " " + Hex(sheet);
  for (const Cell& c : shown) {
    manifest += "\ncell " + std::to_string(c.sheet) + " " + std::to_string(c.row) + " " +
                std::to_string(c.column) + " " + Hex(c.text);
  }
  manifest += "\n";
  return true;
}

std::vector<Cell> Grid(int rows, int columns) {
  std::vector<Cell> cells;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c)
      cells.push_back({0, r, c, "r" + std::to_string(r) + "c" + std::to_string(c)});
  }
  return cells;
}

bool WriteSamples(const std::string& folder, std::string& manifest) {
  // The SST across CONTINUE records: long strings split inside, texts outside Latin-1.
  std::vector<Cell> many;
  for (int r = 0; r < 3000; ++r)
    many.push_back({0, r, 0, "distinct text number " + std::to_string(r)});
  many.push_back({0, 3000, 0, std::string(20000, 'L')});
  std::string wide, emoji;
  for (int i = 0; i < 9000; ++i)
    wide += (i % 3 == 0) ? "\xE2\x82\xAC" : (i % 3 == 1) ? "a" : "\xC3\xA9";  // € a é
  for (int i = 0; i < 5000; ++i)
    emoji += "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair each
  many.push_back({0, 3001, 1, wide});
  many.push_back({0, 3002, 2, emoji});
  for (int r = 3003; r < 3400; ++r)
    many.push_back(
        {0, r, 3, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " + std::to_string(r)});
  if (!Add(folder, manifest, "continue", {"SMART"}, 3400, many, many))
    return false;

  // Characters outside Latin-1, and bytes that are not UTF-8 (read as Windows-1252).
  const std::vector<Cell> written = {
      {0, 0, 0, "caf\xC3\xA9"},  {0, 0, 1, "5 \xE2\x82\xAC"}, {0, 1, 0, "\xE6\xB8\xA9\xE5\xBA\xA6"},
      {0, 1, 1, "caf\xE9"},      {0, 2, 0, "\x80 and \x9F"},  {0, 2, 1, "\xC3"},
      {0, 3, 0, "\xED\xA0\x80"}, {0, 3, 1, "tab\tnew\nline"}};
  std::vector<Cell> shown = written;
  shown[3].text = "caf\xC3\xA9";
  shown[4].text = "\xE2\x82\xAC and \xC5\xB8";
  shown[5].text = "\xC3\x83";
  shown[6].text = "\xC3\xAD\xC2\xA0\xE2\x82\xAC";
  if (!Add(folder, manifest, "unicode", {"Identify"}, 4, written, shown))
    return false;

  // Two sheets: the BOUNDSHEET positions of both.
  std::vector<Cell> two = Grid(40, 2);
  two.push_back({1, 5, 7, "on the second sheet"});
  if (!Add(folder, manifest, "two_sheets", {"Sheet1", "Second"}, 40, two, two))
    return false;

  // A full sheet: 65,536 rows of 8 texts, a stream in regular sectors and a FAT beyond the
  // header's 109 slots.
  const std::vector<Cell> full = Grid(XlsSheet::kRowCount, 8);
  return Add(folder, manifest, "full_sheet", {"Health"}, XlsSheet::kRowCount, full, full);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xls_sample_writer OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  std::string manifest;
  if (!WriteSamples(folder, manifest))
    return 1;
  std::FILE* file = std::fopen((folder + "manifest.txt").c_str(), "wb");
  const bool ok =
      file != nullptr && std::fwrite(manifest.data(), 1, manifest.size(), file) == manifest.size();
  return file != nullptr && std::fclose(file) == 0 && ok ? 0 : 1;
}
