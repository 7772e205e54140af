#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_output_file.h"
#include "sheet/xls_cell.h"
#include "sheet/xls_sheet.h"

// Writes Excel 97-2003 workbooks (.xls) of text cells: a BIFF8 "Workbook" stream inside a
// version-3 Compound File. One object per export:
//
//   XlsWorkbook book;
//   book.New(1);
//   book.RenameSheet("Sheet1", "SMART");
//   XlsSheet* sheet = book.GetSheet("SMART");
//   sheet->Cell(0, 0)->SetText("ID");
//   book.SaveAs(path);
//
// Texts and sheet names are UTF-8; see sheet/xls_text.h for how they are stored.
namespace ds {

class XlsWorkbook {
 public:
  // The most sheets New() creates.
  static constexpr int kMaxSheets = 256;

  // A workbook without sheets; New() makes the sheets.
  XlsWorkbook() = default;
  ~XlsWorkbook() { Close(); }
  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  // Discards all content (earlier XlsSheet and XlsCell pointers become invalid) and creates
  // `sheetCount` empty sheets named "Sheet1", "Sheet2", ... (at least one, at most
  // kMaxSheets).
  void New(int sheetCount);

  // Renames the sheet called `oldName`. False, changing nothing, when no sheet has that
  // name, when a sheet already has `newName` (also, as spreadsheet programs require, when
  // another sheet has it in different letter case), or when `newName` is not a valid sheet
  // name: 1 to 31 characters, none of : \ / ? * [ ], not beginning or ending with '.
  bool RenameSheet(std::string_view oldName, std::string_view newName);

  // The sheet whose name equals `name` exactly (case-sensitive), or nullptr.
  XlsSheet* GetSheet(std::string_view name);

  // Writes the whole workbook to `path`. The file is built beside the target and renamed
  // over it when complete, so the target holds either its old contents or the complete
  // new workbook. False (with `message` when given) when the workbook has no sheet or the
  // file cannot be written; nothing is left behind then.
  bool SaveAs(const std::string& path, std::string* message = nullptr,
              const OutputOptions& options = {});

  // Nothing stays open after SaveAs(), which closes its file before returning; Close() is
  // kept for callers that end an export with it and has nothing left to release.
  void Close() {}

  // True when `name` may name a sheet.
  static bool IsValidSheetName(std::string_view name);

 private:
  std::vector<std::unique_ptr<XlsSheet>> sheets_;
};

}  // namespace ds
