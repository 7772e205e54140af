#include "sheet/workbook_stream.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "sheet/compound_file.h"
#include "sheet/xls_text.h"

namespace ds {
namespace {

constexpr std::size_t kRowsPerBlock = 32;
constexpr std::size_t kRowRecordBytes = 4 + 16;
constexpr std::size_t kLabelSstRecordBytes = 4 + 10;
constexpr std::size_t kMaxSheetNameUnits = 31;

// Record fields shared by the globals and the worksheets.
constexpr unsigned kBiffVersion = 0x0600;
constexpr unsigned kSubstreamGlobals = 0x0005;
constexpr unsigned kSubstreamWorksheet = 0x0010;
constexpr unsigned kBuild = 0x19A0;
constexpr unsigned kBuildYear = 0x07CD;
constexpr std::uint32_t kFileHistoryFlags = 0xC0C9;
constexpr std::uint32_t kLowestVersion = 0x0306;
constexpr int kFontCount = 4;
constexpr int kXfCount = 21;
constexpr int kStyleCount = 6;
constexpr unsigned kDefaultRowHeight = 0x00FF;   // 12.75 points in twips, for 10-point Arial
constexpr std::uint32_t kRowFlags = 0x00000100;  // reserved bit that is always set

void WriteRecord(ByteSink& sink, unsigned type, const std::string& body) {
  std::string header;
  Put16(header, type);
  Put16(header, static_cast<unsigned>(body.size()));
  sink.Write(header.data(), header.size());
  sink.Write(body.data(), body.size());
}

std::string BofBody(unsigned substream) {
  std::string body;
  Put16(body, kBiffVersion);
  Put16(body, substream);
  Put16(body, kBuild);
  Put16(body, kBuildYear);
  Put32(body, kFileHistoryFlags);
  Put32(body, kLowestVersion);
  return body;
}

// A short string with an 8-bit character count, as in FONT and BOUNDSHEET.
void PutShortString(std::string& body, const std::string& encoded) {
  Put8(body, static_cast<unsigned>(XlsTextUnits(encoded)));
  body.append(encoded);
}

std::uint32_t Get(const std::vector<std::uint32_t>* values, std::size_t i) {
  return values && i < values->size() ? (*values)[i] : 0;
}

}  // namespace

bool WorkbookStream::Prepare(const std::vector<const XlsSheet*>& sheets, std::string* message) {
  sheets_ = sheets;
  if (sheets_.empty()) {
    if (message)
      *message = "a workbook needs at least one sheet";
    return false;
  }
  encodedNames_.clear();
  for (const XlsSheet* sheet : sheets_)
    encodedNames_.push_back(EncodeXlsText(sheet->name(), kMaxSheetNameUnits));
  CollectStrings();

  CountingSink counting;
  positions_ = Positions{};
  Emit(counting, Positions{}, &positions_);
  size_ = counting.written();
  if (size_ > CompoundFileLayout::kMaxStreamBytes) {
    if (message)
      *message = "the workbook is too large for the file format";
    return false;
  }
  return true;
}

bool WorkbookStream::WriteTo(ByteSink& sink, std::string* message) const {
  const std::uint64_t start = sink.written();
  Positions found;
  Emit(sink, positions_, &found);
  if (sink.written() - start != size_ || !(found == positions_)) {
    if (message)
      *message = "workbook stream layout changed while writing";
    return false;
  }
  return true;
}

void WorkbookStream::CollectStrings() {
  distinct_.clear();
  cellStrings_.clear();
  sheetRows_.assign(sheets_.size(), SheetRows{});

  std::size_t textCells = 0;
  for (const XlsSheet* sheet : sheets_) {
    for (int row = 0; row < sheet->rowSpan(); ++row) {
      for (const XlsSheet::RowEntry& entry : sheet->rowCells(row))
        textCells += sheet->cellAt(entry).hasText() ? 1 : 0;
    }
  }
  cellStrings_.reserve(textCells);

  // Open addressing over the distinct texts; a slot holds an SST index + 1, 0 when free.
  std::size_t capacity = 16;
  while (capacity < textCells * 2)
    capacity *= 2;
  std::vector<std::uint32_t> slots(capacity, 0);
  const std::hash<std::string_view> hash;

  for (std::size_t s = 0; s < sheets_.size(); ++s) {
    const XlsSheet& sheet = *sheets_[s];
    SheetRows& rows = sheetRows_[s];
    for (int row = 0; row < sheet.rowSpan(); ++row) {
      bool rowHasText = false;
      for (const XlsSheet::RowEntry& entry : sheet.rowCells(row)) {
        const XlsCell& cell = sheet.cellAt(entry);
        if (!cell.hasText())
          continue;
        rowHasText = true;
        const std::string_view text = cell.encodedText();
        std::size_t slot = hash(text) & (capacity - 1);
        while (slots[slot] != 0 && distinct_[slots[slot] - 1]->encodedText() != text)
          slot = (slot + 1) & (capacity - 1);
        if (slots[slot] == 0) {
          distinct_.push_back(&cell);
          slots[slot] = static_cast<std::uint32_t>(distinct_.size());
        }
        cellStrings_.push_back(slots[slot] - 1);
      }
      if (!rowHasText)
        continue;
      const auto number = static_cast<std::uint32_t>(row);
      if (rows.rows.empty() || rows.rows.back() / kRowsPerBlock != number / kRowsPerBlock)
        rows.blockStarts.push_back(rows.rows.size());
      rows.rows.push_back(number);
    }
  }
}

void WorkbookStream::Emit(ByteSink& sink, const Positions& use, Positions* found) const {
  const std::uint64_t start = sink.written();
  EmitGlobals(sink, use);
  std::size_t nextCellString = 0;
  for (std::size_t s = 0; s < sheets_.size(); ++s) {
    found->sheetBof.push_back(static_cast<std::uint32_t>(sink.written() - start));
    found->dbCells.emplace_back();
    EmitSheet(sink, start, s, nextCellString, use, found);
  }
}

void WorkbookStream::EmitGlobals(ByteSink& sink, const Positions& use) const {
  WriteRecord(sink, kBof, BofBody(kSubstreamGlobals));

  std::string body;
  for (unsigned value : {120u, 120u, 15135u, 9300u, 0x0038u, 0u, 0u, 1u, 600u})
    Put16(body, value);
  WriteRecord(sink, kWindow1, body);

  body.clear();
  Put16(body, 200);     // height in twips: 10 points
  Put16(body, 0);       // options
  Put16(body, 0x7FFF);  // colour index: window text
  Put16(body, 400);     // weight: normal
  Put16(body, 0);       // escapement
  Put8(body, 0);        // underline
  Put8(body, 0);        // family
  Put8(body, 0);        // character set
  Put8(body, 0);        // reserved
  Put8(body, 5);        // name: "Arial" in UTF-16 characters
  Put8(body, kXlsUncompressed);
  for (char c : std::string_view("Arial"))
    Put16(body, static_cast<unsigned char>(c));
  for (int i = 0; i < kFontCount; ++i)
    WriteRecord(sink, kFont, body);

  body.clear();
  Put16(body, 0);       // font
  Put16(body, 0);       // number format
  Put16(body, 0xFFF5);  // style XF, locked, no parent
  Put8(body, 0x20);     // alignment: bottom, general
  Put8(body, 0);        // rotation
  Put8(body, 0);        // indent, shrink, direction
  Put8(body, 0);        // used attribute groups
  Put32(body, 0);       // border line styles
  Put32(body, 0);       // border colours
  Put16(body, 0x20C0);  // fill pattern colours: foreground 64, background 65
  for (int i = 0; i < kXfCount; ++i)
    WriteRecord(sink, kXf, body);

  body.clear();
  Put16(body, 0x8000);  // built-in style on XF 0
  Put8(body, 0);        // built-in style: Normal
  Put8(body, 0xFF);     // outline level
  for (int i = 0; i < kStyleCount; ++i)
    WriteRecord(sink, kStyle, body);

  for (std::size_t s = 0; s < sheets_.size(); ++s) {
    body.clear();
    Put32(body, Get(&use.sheetBof, s));
    Put8(body, 0);  // visible
    Put8(body, 0);  // worksheet
    PutShortString(body, encodedNames_[s]);
    WriteRecord(sink, kBoundSheet, body);
  }

  EmitSst(sink);
  WriteRecord(sink, kEof, std::string());
}

void WorkbookStream::EmitSst(ByteSink& sink) const {
  std::string record;
  record.reserve(kMaxRecordBody);
  Put32(record, static_cast<std::uint32_t>(cellStrings_.size()));
  Put32(record, static_cast<std::uint32_t>(distinct_.size()));
  unsigned type = kSst;
  const auto flush = [&] {
    WriteRecord(sink, type, record);
    record.clear();
    type = kContinue;
  };

  for (const XlsCell* cell : distinct_) {
    const std::string_view text = cell->encodedText();
    const auto option = static_cast<unsigned char>(text[0]);
    const std::size_t unit = option & kXlsUncompressed ? 2 : 1;
    const char* characters = text.data() + 1;
    std::size_t left = text.size() - 1;
    const std::size_t whole = 3 + left;
    // A string starts in a new CONTINUE record when it does not fit here but fits there;
    // one longer than any record starts here if its header and a character or two fit.
    if (record.size() + whole > kMaxRecordBody &&
        (whole <= kMaxRecordBody || record.size() + 3 + 2 * unit > kMaxRecordBody)) {
      flush();
    }
    Put16(record, static_cast<unsigned>(XlsTextUnits(text)));
    Put8(record, option);
    for (;;) {
      std::size_t room = kMaxRecordBody - record.size();
      room -= room % unit;
      std::size_t now = std::min(left, room);
      if (unit == 2 && now < left && now >= 2) {
        const unsigned last = static_cast<unsigned char>(characters[now - 2]) |
                              static_cast<unsigned>(static_cast<unsigned char>(characters[now - 1]))
                                  << 8;
        if (last >= 0xD800 && last <= 0xDBFF)  // keep a surrogate pair together
          now -= 2;
      }
      record.append(characters, now);
      characters += now;
      left -= now;
      if (left == 0)
        break;
      // The rest of the characters continue in the next record, which repeats the
      // option byte.
      flush();
      Put8(record, option);
    }
  }
  if (!record.empty() || type == kSst)
    flush();
}

void WorkbookStream::EmitSheet(ByteSink& sink, std::uint64_t start, std::size_t index,
                               std::size_t& nextCellString, const Positions& use,
                               Positions* found) const {
  const XlsSheet& sheet = *sheets_[index];
  const SheetRows& rows = sheetRows_[index];
  const std::vector<std::uint32_t>* useDbCells =
      index < use.dbCells.size() ? &use.dbCells[index] : nullptr;

  WriteRecord(sink, kBof, BofBody(kSubstreamWorksheet));

  std::string body;
  Put32(body, 0);
  Put32(body, rows.rows.empty() ? 0 : rows.rows.front());
  Put32(body, rows.rows.empty() ? 0 : rows.rows.back() + 1);
  Put32(body, 0);  // no DEFCOLWIDTH record
  for (std::size_t b = 0; b < rows.blockStarts.size(); ++b)
    Put32(body, Get(useDbCells, b));
  WriteRecord(sink, kIndex, body);

  const XlsSheet::UsedRange& range = sheet.usedRange();
  body.clear();
  Put32(body, range.empty ? 0 : static_cast<std::uint32_t>(range.firstRow));
  Put32(body, range.empty ? 0 : static_cast<std::uint32_t>(range.lastRow + 1));
  Put16(body, range.empty ? 0 : static_cast<unsigned>(range.firstColumn));
  Put16(body, range.empty ? 0 : static_cast<unsigned>(range.lastColumn + 1));
  Put16(body, 0);
  WriteRecord(sink, kDimensions, body);

  std::string offsets;
  for (std::size_t b = 0; b < rows.blockStarts.size(); ++b) {
    const std::size_t first = rows.blockStarts[b];
    const std::size_t end =
        b + 1 < rows.blockStarts.size() ? rows.blockStarts[b + 1] : rows.rows.size();
    const std::uint64_t firstRowAt = sink.written();

    // ROW records, and the DBCELL offsets from the end of the first ROW record to the
    // first cell of the first row, then from each row's first cell to the next row's.
    offsets.clear();
    std::size_t previousRowCells = 0;
    for (std::size_t r = first; r < end; ++r) {
      const int row = static_cast<int>(rows.rows[r]);
      unsigned firstColumn = XlsSheet::kColumnCount;
      unsigned lastColumn = 0;
      std::size_t cells = 0;
      for (const XlsSheet::RowEntry& entry : sheet.rowCells(row)) {
        if (!sheet.cellAt(entry).hasText())
          continue;
        firstColumn = std::min<unsigned>(firstColumn, entry.column);
        lastColumn = std::max<unsigned>(lastColumn, entry.column);
        ++cells;
      }
      body.clear();
      Put16(body, static_cast<unsigned>(row));
      Put16(body, firstColumn);
      Put16(body, lastColumn + 1);
      Put16(body, kDefaultRowHeight);
      Put16(body, 0);
      Put16(body, 0);
      Put32(body, kRowFlags);
      WriteRecord(sink, kRow, body);
      Put16(offsets, static_cast<unsigned>(r == first ? (end - first - 1) * kRowRecordBytes
                                                      : previousRowCells * kLabelSstRecordBytes));
      previousRowCells = cells;
    }

    for (std::size_t r = first; r < end; ++r) {
      const int row = static_cast<int>(rows.rows[r]);
      for (const XlsSheet::RowEntry& entry : sheet.rowCells(row)) {
        if (!sheet.cellAt(entry).hasText())
          continue;
        body.clear();
        Put16(body, static_cast<unsigned>(row));
        Put16(body, entry.column);
        Put16(body, 0);  // XF index
        Put32(body, cellStrings_[nextCellString++]);
        WriteRecord(sink, kLabelSst, body);
      }
    }

    const std::uint64_t dbCellAt = sink.written();
    found->dbCells[index].push_back(static_cast<std::uint32_t>(dbCellAt - start));
    body.clear();
    Put32(body, static_cast<std::uint32_t>(dbCellAt - firstRowAt));
    body += offsets;
    WriteRecord(sink, kDbCell, body);
  }

  body.clear();
  Put16(body, 0x06B6);  // options: grid lines, headers, zeros, outline, selected, active
  Put16(body, 0);       // top row
  Put16(body, 0);       // left column
  Put16(body, 64);      // grid line colour index
  Put16(body, 0);
  Put16(body, 0);
  Put16(body, 0);
  Put32(body, 0);
  WriteRecord(sink, kWindow2, body);
  WriteRecord(sink, kEof, std::string());
}

}  // namespace ds
