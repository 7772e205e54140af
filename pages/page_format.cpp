#include "pages/page_format.h"

#include <cstdarg>
#include <cstdio>

namespace ds {

GigabyteText FormatGigabytes(std::int64_t byteCount) {
  return {Format("%6.2f", static_cast<double>(byteCount) / (1024.0 * 1024.0 * 1024.0)), "GB"};
}

}  // namespace ds
