#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sheet/byte_sink.h"
#include "sheet/xls_sheet.h"

// The BIFF8 "Workbook" stream of a set of sheets: the workbook globals (BOF, WINDOW1,
// FONT, XF, STYLE, BOUNDSHEET, SST, EOF) followed by one worksheet substream per sheet
// (BOF, INDEX, DIMENSIONS, blocks of 32 rows with ROW, LABELSST and DBCELL records,
// WINDOW2, EOF).
//
// Prepare() collects the shared strings and measures the stream by writing it once to a
// counting sink, which fixes every position the stream refers to (BOUNDSHEET to the sheet's
// BOF, INDEX to the DBCELLs). WriteTo() then writes the same stream with those positions
// filled in and checks that every record landed where it was measured.
namespace ds {

class WorkbookStream {
 public:
  static constexpr std::size_t kMaxRecordBody = 8224;

  // Record types.
  static constexpr unsigned kBof = 0x0809;
  static constexpr unsigned kWindow1 = 0x003D;
  static constexpr unsigned kFont = 0x0031;
  static constexpr unsigned kXf = 0x00E0;
  static constexpr unsigned kStyle = 0x0293;
  static constexpr unsigned kBoundSheet = 0x0085;
  static constexpr unsigned kSst = 0x00FC;
  static constexpr unsigned kContinue = 0x003C;
  static constexpr unsigned kEof = 0x000A;
  static constexpr unsigned kIndex = 0x020B;
  static constexpr unsigned kDimensions = 0x0200;
  static constexpr unsigned kRow = 0x0208;
  static constexpr unsigned kLabelSst = 0x00FD;
  static constexpr unsigned kDbCell = 0x00D7;
  static constexpr unsigned kWindow2 = 0x023E;

  // `sheets` must stay unchanged until the last WriteTo(). Fails when there is no sheet or
  // the stream would be too large for the file format.
  bool Prepare(const std::vector<const XlsSheet*>& sheets, std::string* message);

  std::uint64_t size() const { return size_; }
  std::uint32_t textCellCount() const { return static_cast<std::uint32_t>(cellStrings_.size()); }
  std::uint32_t distinctTextCount() const { return static_cast<std::uint32_t>(distinct_.size()); }

  // Writes the stream; false (with `message`) if what was written differs from the
  // measured layout, which would mean a fault in the writer.
  bool WriteTo(ByteSink& sink, std::string* message) const;

 private:
  // Where the records that others point at were found.
  struct Positions {
    std::vector<std::uint32_t> sheetBof;
    std::vector<std::vector<std::uint32_t>> dbCells;
    bool operator==(const Positions&) const = default;
  };
  // The rows of one sheet that hold text cells, and where its blocks of 32 rows begin.
  struct SheetRows {
    std::vector<std::uint32_t> rows;
    std::vector<std::size_t> blockStarts;  // indexes into `rows`
  };

  void CollectStrings();
  void Emit(ByteSink& sink, const Positions& use, Positions* found) const;
  void EmitGlobals(ByteSink& sink, const Positions& use) const;
  void EmitSst(ByteSink& sink) const;
  // `start` is the sink position of the stream's first byte; `nextCellString` walks
  // cellStrings_ across the sheets.
  void EmitSheet(ByteSink& sink, std::uint64_t start, std::size_t index,
                 std::size_t& nextCellString, const Positions& use, Positions* found) const;

  std::vector<const XlsSheet*> sheets_;
  std::vector<std::string> encodedNames_;
  std::vector<SheetRows> sheetRows_;
  std::vector<const XlsCell*> distinct_;    // SST entries, in order of first use
  std::vector<std::uint32_t> cellStrings_;  // SST index of every text cell, in stream order
  Positions positions_;
  std::uint64_t size_ = 0;
};

}  // namespace ds
