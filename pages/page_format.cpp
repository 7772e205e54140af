#include "pages/page_format.h"

#include <cstdarg>
#include <cstdio>

namespace ds {

GigabyteText FormatGigabytes(std::int64_t byteCount) {
  return {Format("%6.2f", static_cast<double>(byteCount) / (1024.0 * 1024.0 * 1024.0)), "GB"};
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0)
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace ds
