#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/text_store.h"
#include "sheet/xls_cell.h"

// One worksheet of a workbook: a name and a sparse grid of cells, rows 0-65535 and
// columns 0-255. Cells are created on first access and stay at the same address for the
// sheet's lifetime, so a caller may hold several XlsCell pointers at once.
namespace ds {

class XlsSheet {
 public:
  static constexpr int kRowCount = 65536;
  static constexpr int kColumnCount = 256;

  // The rectangle covering every cell handed out by Cell(); empty until the first one.
  struct UsedRange {
    bool empty = true;
    int firstRow = 0;
    int lastRow = 0;
    int firstColumn = 0;
    int lastColumn = 0;
  };

  // A cell of one row, as listed by rowCells().
  struct RowEntry {
    std::uint16_t column;
    std::uint32_t cell;  // index into the sheet's cell store
  };

  explicit XlsSheet(std::string name)
      : name_(std::move(name)), texts_(std::make_unique<TextStore>()) {}
  XlsSheet(const XlsSheet&) = delete;
  XlsSheet& operator=(const XlsSheet&) = delete;

  // The cell at (row, column), created when new; nullptr when the row is outside 0-65535
  // or the column outside 0-255. Extends the used range to cover the cell.
  XlsCell* Cell(int row, int column);

  const std::string& name() const { return name_; }
  void set_name(std::string name) { name_ = std::move(name); }

  const UsedRange& usedRange() const { return range_; }
  // Rows 0 .. rowSpan()-1 may hold cells.
  int rowSpan() const { return static_cast<int>(rows_.size()); }
  // The cells of `row` (which must be below rowSpan()) in column order.
  const std::vector<RowEntry>& rowCells(int row) const { return rows_[row]; }
  const XlsCell& cellAt(const RowEntry& entry) const { return cells_[entry.cell]; }

 private:
  std::string name_;
  std::unique_ptr<TextStore> texts_;         // declared before the cells that point into it
  std::deque<XlsCell> cells_;                // stable addresses
  std::vector<std::vector<RowEntry>> rows_;  // per row, sorted by column
  UsedRange range_;
};

}  // namespace ds
