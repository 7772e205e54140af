#include "sheet/xls_sheet.h"

#include <algorithm>

namespace ds {

XlsCell* XlsSheet::Cell(int row, int column) {
  if (row < 0 || row >= kRowCount || column < 0 || column >= kColumnCount)
    return nullptr;
  if (static_cast<std::size_t>(row) >= rows_.size())
    rows_.resize(static_cast<std::size_t>(row) + 1);
  std::vector<RowEntry>& entries = rows_[row];
  auto at = std::lower_bound(entries.begin(), entries.end(), column,
                             [](const RowEntry& entry, int c) { return entry.column < c; });
  if (at == entries.end() || at->column != column) {
    cells_.emplace_back(texts_.get());
    at = entries.insert(at, RowEntry{static_cast<std::uint16_t>(column),
                                     static_cast<std::uint32_t>(cells_.size() - 1)});
  }
  if (range_.empty) {
    range_ = UsedRange{false, row, row, column, column};
  } else {
    range_.firstRow = std::min(range_.firstRow, row);
    range_.lastRow = std::max(range_.lastRow, row);
    range_.firstColumn = std::min(range_.firstColumn, column);
    range_.lastColumn = std::max(range_.lastColumn, column);
  }
  return &cells_[at->cell];
}

}  // namespace ds
