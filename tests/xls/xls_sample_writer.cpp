// Writes the sample workbooks that readers written elsewhere open (check_workbooks.py),
// with a manifest.json entry for each saying what a reader must find in it.
//
//   xls_sample_writer OUTPUT_FOLDER
#include <cstdio>
#include <string>
#include <vector>

#include "sheet/workbook_stream.h"
#include "sheet/xls_workbook.h"

namespace {

using ds::XlsSheet;
using ds::XlsWorkbook;

struct Cell {
  int row;
  int column;
  std::string text;  // UTF-8
};

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::vector<Cell> Grid(int rows, int columns) {
  std::vector<Cell> cells;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c)
      cells.push_back({r, c, "r" + std::to_string(r) + "c" + std::to_string(c)});
  }
  return cells;
}

void Fill(XlsSheet* sheet, const std::vector<Cell>& cells) {
  for (const Cell& cell : cells)
    sheet->Cell(cell.row, cell.column)->SetText(cell.text);
}

// Stream size of a workbook with one sheet holding `cells`.
std::uint64_t StreamSize(const std::vector<Cell>& cells) {
  XlsSheet sheet("Sheet1");
  Fill(&sheet, cells);
  ds::WorkbookStream stream;
  stream.Prepare({&sheet}, nullptr);
  return stream.size();
}

class Samples {
 public:
  explicit Samples(std::string folder) : folder_(std::move(folder)) {}

  // Saves `book` as NAME.xls and lists it: its sheet names (JSON), the row count and the
  // cells a reader must show on the first sheet (or "cells" given as JSON), more members.
  bool Add(XlsWorkbook& book, const std::string& name, const std::string& sheets, int rows,
           const std::vector<Cell>& shown, const std::string& extra = "") {
    std::string message;
    if (!book.SaveAs(folder_ + name + ".xls", &message)) {
      std::fprintf(stderr, "xls_sample_writer: %s: %s\n", name.c_str(), message.c_str());
      return false;
    }
    std::string cells;
    for (const Cell& cell : shown) {
      cells += (cells.empty() ? "[" : ", [") + std::to_string(cell.row) + ", " +
               std::to_string(cell.column) + ", " + Json(cell.text) + "]";
    }
    manifest_ += std::string(manifest_.empty() ? "[\n" : ",\n") + "{\"name\": " + Json(name) +
                 ", \"file\": " + Json(name + ".xls") + ", \"sheets\": " + sheets +
                 ", \"rows\": " + std::to_string(rows) + ", \"cells\": [" + cells + "]" +
                 (extra.empty() ? "" : ", " + extra) + "}";
    return true;
  }

  // A one-sheet workbook named `sheetName` holding `written`.
  bool AddSimple(const std::string& name, const std::string& sheetName,
                 const std::vector<Cell>& written, const std::vector<Cell>& shown,
                 const std::string& extra = "") {
    XlsWorkbook book;
    book.New(1);
    book.RenameSheet("Sheet1", sheetName);
    Fill(book.GetSheet(sheetName), written);
    return Add(book, name, "[" + Json(sheetName) + "]", written.back().row + 1, shown, extra);
  }

  bool WriteManifest() const {
    std::FILE* file = std::fopen((folder_ + "manifest.json").c_str(), "wb");
    const std::string text = manifest_ + "\n]\n";
    const bool ok =
        file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return file != nullptr && std::fclose(file) == 0 && ok;
  }

 private:
  std::string folder_;
  std::string manifest_;
};

bool WriteSamples(Samples& samples) {
  const std::vector<Cell> header = {{0, 0, "ID"},     {0, 1, "Attribute"},  {0, 2, "Current"},
                                    {0, 3, "Worst"},  {0, 4, "Threshold"},  {0, 5, "Raw"},
                                    {0, 6, "Status"}, {0, 7, "Description"}};
  if (!samples.AddSimple("header_only", "SMART", header, header, "\"stream\": \"mini\""))
    return false;

  // Streams just under, at and just over the mini-stream cutoff.
  std::vector<Cell> base = Grid(20, 4);
  base.push_back({20, 0, ""});
  const std::uint64_t baseSize = StreamSize(base);
  for (std::uint64_t target : {4095u, 4096u, 4097u}) {
    std::vector<Cell> cells = base;
    cells.back().text = std::string(target - baseSize, 'x');
    if (StreamSize(cells) != target)
      return false;
    const std::string kind = target < 4096 ? "mini" : "regular";
    if (!samples.AddSimple(
            "stream_" + std::to_string(target), "Health", cells, cells,
            "\"stream\": \"" + kind + "\", \"stream_size\": " + std::to_string(target)))
      return false;
  }

  // The SST across CONTINUE records: long strings split inside, texts outside Latin-1.
  std::vector<Cell> many;
  for (int r = 0; r < 3000; ++r)
    many.push_back({r, 0, "distinct text number " + std::to_string(r)});
  many.push_back({3000, 0, std::string(20000, 'L')});
  std::string wide, emoji;
  for (int i = 0; i < 9000; ++i)
    wide += (i % 3 == 0) ? "\xE2\x82\xAC" : (i % 3 == 1) ? "a" : "\xC3\xA9";  // € a é
  for (int i = 0; i < 5000; ++i)
    emoji += "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair each
  many.push_back({3001, 1, wide});
  many.push_back({3002, 2, emoji});
  for (int r = 3003; r < 3400; ++r)
    many.push_back({r, 3, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " + std::to_string(r)});
  if (!samples.AddSimple("continue", "SMART", many, many))
    return false;

  // Characters outside Latin-1, and bytes that are not UTF-8 (read as Windows-1252).
  const std::vector<Cell> written = {
      {0, 0, "caf\xC3\xA9"},  {0, 1, "5 \xE2\x82\xAC"}, {1, 0, "\xE6\xB8\xA9\xE5\xBA\xA6"},
      {1, 1, "caf\xE9"},      {2, 0, "\x80 and \x9F"},  {2, 1, "\xC3"},
      {3, 0, "\xED\xA0\x80"}, {3, 1, "tab\tnew\nline"}};
  std::vector<Cell> shown = written;
  shown[3].text = "caf\xC3\xA9";
  shown[4].text = "\xE2\x82\xAC and \xC5\xB8";
  shown[5].text = "\xC3\x83";
  shown[6].text = "\xC3\xAD\xC2\xA0\xE2\x82\xAC";
  if (!samples.AddSimple("unicode", "Identify", written, shown))
    return false;

  // Two sheets: the BOUNDSHEET positions of both.
  XlsWorkbook two;
  two.New(2);
  two.RenameSheet("Sheet2", "Second");
  Fill(two.GetSheet("Sheet1"), Grid(40, 2));
  two.GetSheet("Second")->Cell(5, 7)->SetText("on the second sheet");
  if (!samples.Add(two, "two_sheets", "[\"Sheet1\", \"Second\"]", 40, Grid(40, 2),
                   "\"second_sheet_cell\": [5, 7, \"on the second sheet\"]"))
    return false;

  // A full sheet: 65,536 rows of 8 texts, a FAT beyond the header's 109 slots.
  XlsWorkbook full;
  full.New(1);
  full.RenameSheet("Sheet1", "Health");
  Fill(full.GetSheet("Health"), Grid(XlsSheet::kRowCount, 8));
  return samples.Add(full, "full_sheet", "[\"Health\"]", XlsSheet::kRowCount, {},
                     "\"pattern\": \"r{row}c{col}\", \"pattern_rows\": 65536, "
                     "\"pattern_columns\": 8, \"stream\": \"regular\", \"difat\": true");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xls_sample_writer OUTPUT_FOLDER\n");
    return 2;
  }
  Samples samples(std::string(argv[1]) + "/");
  return WriteSamples(samples) && samples.WriteManifest() ? 0 : 1;
}
