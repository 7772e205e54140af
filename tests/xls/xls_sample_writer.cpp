// Writes the sample workbooks the independent-reader checks open (check_workbooks.py),
// each with a manifest.json entry saying what a reader must find in it.
//
//   xls_sample_writer OUTPUT_FOLDER
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "sheet/workbook_stream.h"
#include "sheet/xls_workbook.h"

namespace {

using ds::XlsSheet;
using ds::XlsWorkbook;

struct ExpectedCell {
  int row;
  int column;
  std::string text;  // as a reader shows it, UTF-8
};

struct Sample {
  std::string name;
  std::string sheetNames;           // JSON array text
  std::vector<ExpectedCell> cells;  // of the first sheet, unless `pattern` is set
  std::string pattern;              // "r{row}c{col}" cells filling rows x columns
  int patternRows = 0;
  int patternColumns = 0;
  int rows = 0;       // nrows a reader reports for the first sheet
  std::string extra;  // more JSON members
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

bool Fail(const std::string& what) {
  std::fprintf(stderr, "xls_sample_writer: %s\n", what.c_str());
  return false;
}

// Stream size of a workbook with one sheet holding `cells`.
std::uint64_t StreamSize(const std::vector<ExpectedCell>& cells) {
  XlsSheet sheet("Sheet1");
  for (const ExpectedCell& cell : cells)
    sheet.Cell(cell.row, cell.column)->SetText(cell.text);
  ds::WorkbookStream stream;
  std::string message;
  stream.Prepare({&sheet}, &message);
  return stream.size();
}

// A one-sheet workbook named `sheetName` holding `cells`, each written with its own text.
bool WriteSimple(const std::string& path, const std::string& sheetName,
                 const std::vector<ExpectedCell>& cells) {
  XlsWorkbook book;
  book.New(1);
  if (!book.RenameSheet("Sheet1", sheetName))
    return Fail("rename failed");
  XlsSheet* sheet = book.GetSheet(sheetName);
  for (const ExpectedCell& cell : cells)
    sheet->Cell(cell.row, cell.column)->SetText(cell.text);
  std::string message;
  return book.SaveAs(path, &message) || Fail(message);
}

std::vector<ExpectedCell> Grid(int rows, int columns) {
  std::vector<ExpectedCell> cells;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c)
      cells.push_back({r, c, "r" + std::to_string(r) + "c" + std::to_string(c)});
  }
  return cells;
}

bool WriteSamples(const std::string& folder) {
  std::vector<Sample> samples;
  const auto add = [&](Sample sample) { samples.push_back(std::move(sample)); };

  {  // header row only, as the exports start
    std::vector<ExpectedCell> cells;
    const char* header[] = {"ID",        "Attribute", "Current", "Worst",
                            "Threshold", "Raw",       "Status",  "Description"};
    for (int c = 0; c < 8; ++c)
      cells.push_back({0, c, header[c]});
    if (!WriteSimple(folder + "header_only.xls", "SMART", cells))
      return false;
    add({"header_only", "[\"SMART\"]", cells, "", 0, 0, 1,
         "\"stream\": \"mini\", \"text_cells\": 8, \"distinct\": 8"});
  }
  {  // equal texts share one SST entry
    std::vector<ExpectedCell> cells = {{0, 0, "same"}, {1, 1, "same"}, {2, 0, "other"}};
    if (!WriteSimple(folder + "shared_text.xls", "Identify", cells))
      return false;
    add({"shared_text", "[\"Identify\"]", cells, "", 0, 0, 3,
         "\"stream\": \"mini\", \"text_cells\": 3, \"distinct\": 2"});
  }
  {  // 33 rows: two row blocks
    std::vector<ExpectedCell> cells = Grid(33, 3);
    if (!WriteSimple(folder + "rows_33.xls", "Health", cells))
      return false;
    add({"rows_33", "[\"Health\"]", cells, "", 0, 0, 33, "\"dbcells\": 2"});
  }
  {  // streams just under, at and just over the mini-stream cutoff
    std::vector<ExpectedCell> base = Grid(20, 4);
    base.push_back({20, 0, ""});
    const std::uint64_t baseSize = StreamSize(base);
    for (std::uint64_t target : {std::uint64_t{4095}, std::uint64_t{4096}, std::uint64_t{4097}}) {
      if (baseSize > target)
        return Fail("base too large for the cutoff samples");
      std::vector<ExpectedCell> cells = base;
      cells.back().text = std::string(target - baseSize, 'x');
      if (StreamSize(cells) != target)
        return Fail("cutoff sample size is not " + std::to_string(target));
      const std::string name = "stream_" + std::to_string(target);
      if (!WriteSimple(folder + name + ".xls", "Health", cells))
        return false;
      add({name, "[\"Health\"]", cells, "", 0, 0, 21,
           "\"stream\": \"" + std::string(target < 4096 ? "mini" : "regular") +
               "\", \"stream_size\": " + std::to_string(target)});
    }
  }
  {  // SST across CONTINUE records, long strings split inside, texts outside Latin-1
    std::vector<ExpectedCell> cells;
    for (int r = 0; r < 3000; ++r)
      cells.push_back({r, 0, "distinct text number " + std::to_string(r)});
    cells.push_back({3000, 0, std::string(20000, 'L')});
    std::string wide;
    for (int i = 0; i < 9000; ++i)
      wide += (i % 3 == 0) ? "\xE2\x82\xAC" : (i % 3 == 1) ? "a" : "\xC3\xA9";  // € a é
    cells.push_back({3001, 1, wide});
    std::string emoji;
    for (int i = 0; i < 5000; ++i)
      emoji += "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair each
    cells.push_back({3002, 2, emoji});
    for (int r = 3003; r < 3400; ++r)
      cells.push_back(
          {r, 3,
           "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 " + std::to_string(r)});  // Cyrillic
    if (!WriteSimple(folder + "continue.xls", "SMART", cells))
      return false;
    add({"continue", "[\"SMART\"]", cells, "", 0, 0, 3400, "\"min_continue\": 5"});
  }
  {  // characters outside Latin-1 and bytes that are not UTF-8
    std::vector<ExpectedCell> written = {
        {0, 0, "caf\xC3\xA9"},               // é, Latin-1: compressed
        {0, 1, "5 \xE2\x82\xAC"},            // €: UTF-16
        {1, 0, "\xE6\xB8\xA9\xE5\xBA\xA6"},  // CJK
        {1, 1, "caf\xE9"},                   // lone Windows-1252 byte
        {2, 0, "\x80 and \x9F"},             // Windows-1252 € and Ÿ
        {2, 1, "\xC3"},                      // truncated sequence
        {3, 0, "\xED\xA0\x80"},              // encoded surrogate
        {3, 1, "tab\tnew\nline"},
    };
    std::vector<ExpectedCell> shown = written;
    shown[3].text = "caf\xC3\xA9";
    shown[4].text = "\xE2\x82\xAC and \xC5\xB8";
    shown[5].text = "\xC3\x83";
    shown[6].text = "\xC3\xAD\xC2\xA0\xE2\x82\xAC";
    if (!WriteSimple(folder + "unicode.xls", "Identify", written))
      return false;
    add({"unicode", "[\"Identify\"]", shown, "", 0, 0, 4, ""});
  }
  {  // two sheets: BOUNDSHEET positions of both
    XlsWorkbook book;
    book.New(2);
    if (!book.RenameSheet("Sheet2", "Second"))
      return Fail("rename of Sheet2 failed");
    for (const ExpectedCell& cell : Grid(40, 2))
      book.GetSheet("Sheet1")->Cell(cell.row, cell.column)->SetText(cell.text);
    book.GetSheet("Second")->Cell(5, 7)->SetText("on the second sheet");
    std::string message;
    if (!book.SaveAs(folder + "two_sheets.xls", &message))
      return Fail(message);
    add({"two_sheets", "[\"Sheet1\", \"Second\"]", Grid(40, 2), "", 0, 0, 40,
         "\"second_sheet_cell\": [5, 7, \"on the second sheet\"]"});
  }
  {  // renaming a missing sheet keeps "Sheet1"
    XlsWorkbook book;
    book.New(1);
    if (book.RenameSheet("Missing", "Health") || book.GetSheet("Health") != nullptr)
      return Fail("renaming a missing sheet succeeded");
    book.GetSheet("Sheet1")->Cell(0, 0)->SetText("kept");
    if (!book.SaveAs(folder + "rename_missing.xls"))
      return Fail("rename_missing not saved");
    add({"rename_missing", "[\"Sheet1\"]", {{0, 0, "kept"}}, "", 0, 0, 1, ""});
  }
  {  // a full sheet: 65,536 rows of 8 distinct texts, FAT beyond the header's 109 slots
    XlsWorkbook book;
    book.New(1);
    book.RenameSheet("Sheet1", "Health");
    XlsSheet* sheet = book.GetSheet("Health");
    for (int r = 0; r < XlsSheet::kRowCount; ++r) {
      for (int c = 0; c < 8; ++c)
        sheet->Cell(r, c)->SetText("r" + std::to_string(r) + "c" + std::to_string(c));
    }
    std::string message;
    if (!book.SaveAs(folder + "full_sheet.xls", &message))
      return Fail(message);
    add({"full_sheet",
         "[\"Health\"]",
         {},
         "r{row}c{col}",
         65536,
         8,
         65536,
         "\"stream\": \"regular\", \"difat\": true, \"dbcells\": 2048"});
  }

  std::string manifest = "[\n";
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    manifest += "{\"name\": " + Json(s.name) + ", \"file\": " + Json(s.name + ".xls") +
                ", \"sheets\": " + s.sheetNames + ", \"rows\": " + std::to_string(s.rows);
    if (!s.pattern.empty()) {
      manifest += ", \"pattern\": " + Json(s.pattern) +
                  ", \"pattern_rows\": " + std::to_string(s.patternRows) +
                  ", \"pattern_columns\": " + std::to_string(s.patternColumns);
    } else {
      manifest += ", \"cells\": [";
      for (std::size_t c = 0; c < s.cells.size(); ++c) {
        manifest += (c ? ", [" : "[") + std::to_string(s.cells[c].row) + ", " +
                    std::to_string(s.cells[c].column) + ", " + Json(s.cells[c].text) + "]";
      }
      manifest += "]";
    }
    if (!s.extra.empty())
      manifest += ", " + s.extra;
    manifest += i + 1 < samples.size() ? "},\n" : "}\n";
  }
  manifest += "]\n";
  std::FILE* file = std::fopen((folder + "manifest.json").c_str(), "wb");
  if (file == nullptr)
    return Fail("cannot write manifest.json");
  const bool ok = std::fwrite(manifest.data(), 1, manifest.size(), file) == manifest.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: xls_sample_writer OUTPUT_FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  return WriteSamples(folder) ? 0 : 1;
}
