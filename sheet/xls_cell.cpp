#include "sheet/xls_cell.h"

#include "sheet/xls_text.h"

namespace ds {

void XlsCell::SetText(std::string_view text) {
  encoded_ = EncodeXlsText(text);
}

}  // namespace ds
