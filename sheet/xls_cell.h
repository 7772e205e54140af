#pragma once

#include <string>
#include <string_view>

// One cell of a worksheet: empty, or holding a text. The text is kept in the character
// form the workbook stores (see sheet/xls_text.h), converted once when it is set.
namespace ds {

class XlsCell {
 public:
  // The cell becomes a text cell holding a copy of `text` (UTF-8; see sheet/xls_text.h for
  // malformed bytes and over-long texts). An empty text still makes a text cell.
  void SetText(std::string_view text);

  bool hasText() const { return !encoded_.empty(); }
  // Option byte and characters as EncodeXlsText makes them; empty for an empty cell.
  const std::string& encodedText() const { return encoded_; }

 private:
  std::string encoded_;
};

}  // namespace ds
