#pragma once

#include <cstdint>
#include <string_view>

#include "sheet/text_store.h"

// One cell of a worksheet: empty, or holding a text. The text is kept in the character
// form the workbook stores (see sheet/xls_text.h), converted once when it is set, in the
// sheet's text store.
namespace ds {

class XlsCell {
 public:
  explicit XlsCell(TextStore* store) : store_(store) {}

  // The cell becomes a text cell holding a copy of `text` (UTF-8; see sheet/xls_text.h for
  // malformed bytes and over-long texts). An empty text still makes a text cell.
  void SetText(std::string_view text);

  bool hasText() const { return data_ != nullptr; }
  // Option byte and characters as EncodeXlsText makes them; empty for an empty cell.
  std::string_view encodedText() const { return {data_, size_}; }

 private:
  TextStore* store_;
  char* data_ = nullptr;
  std::uint32_t size_ = 0;
};

}  // namespace ds
