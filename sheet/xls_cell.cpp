#include "sheet/xls_cell.h"

#include <cstring>
#include <string>

#include "sheet/xls_text.h"

namespace ds {

void XlsCell::SetText(std::string_view text) {
  const std::string encoded = EncodeXlsText(text);
  if (data_ != nullptr && encoded.size() <= size_)
    std::memcpy(data_, encoded.data(), encoded.size());  // reuse the old text's room
  else
    data_ = store_->Store(encoded);
  size_ = static_cast<std::uint32_t>(encoded.size());
}

}  // namespace ds
