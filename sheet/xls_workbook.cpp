#include "sheet/xls_workbook.h"

#include <algorithm>

#include "sheet/byte_sink.h"
#include "sheet/compound_file.h"
#include "sheet/workbook_stream.h"
#include "sheet/xls_text.h"

namespace ds {
namespace {

// The workbook's bytes on their way into the output file.
class FileSink final : public ByteSink {
 public:
  explicit FileSink(AtomicOutputFile* file) : file_(file) {}
  void Write(const void* data, std::size_t size) override {
    written_ += size;
    file_->Write(data, size);
  }

 private:
  AtomicOutputFile* file_;
};

constexpr std::size_t kMaxSheetNameUnits = 31;

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

}  // namespace

void XlsWorkbook::New(int sheetCount) {
  sheets_.clear();
  const int count = std::clamp(sheetCount, 1, kMaxSheets);
  for (int i = 1; i <= count; ++i)
    sheets_.push_back(std::make_unique<XlsSheet>("Sheet" + std::to_string(i)));
}

bool XlsWorkbook::IsValidSheetName(std::string_view name) {
  if (name.empty() || name.front() == '\'' || name.back() == '\'')
    return false;
  if (name.find_first_of(":\\/?*[]") != std::string_view::npos)
    return false;
  // Counted in the characters the file stores; a longer name would be cut.
  return XlsTextUnits(EncodeXlsText(name, kMaxSheetNameUnits + 1)) <= kMaxSheetNameUnits;
}

bool XlsWorkbook::RenameSheet(std::string_view oldName, std::string_view newName) {
  XlsSheet* target = GetSheet(oldName);
  if (target == nullptr || !IsValidSheetName(newName))
    return false;
  for (const auto& sheet : sheets_) {
    if (sheet->name() == newName)
      return false;
    if (sheet.get() != target && SameIgnoringAsciiCase(sheet->name(), newName))
      return false;
  }
  target->set_name(std::string(newName));
  return true;
}

XlsSheet* XlsWorkbook::GetSheet(std::string_view name) {
  for (const auto& sheet : sheets_) {
    if (sheet->name() == name)
      return sheet.get();
  }
  return nullptr;
}

bool XlsWorkbook::SaveAs(const std::string& path, std::string* message,
                         const OutputOptions& options) {
  std::string ignored;
  if (message == nullptr)
    message = &ignored;
  Close();
  std::vector<const XlsSheet*> sheets;
  for (const auto& sheet : sheets_)
    sheets.push_back(sheet.get());
  WorkbookStream stream;
  if (!stream.Prepare(sheets, message))
    return false;
  const CompoundFileLayout layout(stream.size());
  AtomicOutputFile file;
  if (!file.Open(path, options, message))
    return false;
  FileSink sink(&file);
  layout.WritePrefix(sink);
  if (!stream.WriteTo(sink, message))
    return false;  // the temporary file is removed with `file`
  layout.WriteSuffix(sink);
  return file.Commit(message);
}

}  // namespace ds
