#pragma once

#include <cstdint>
#include <string>

// Small number formats shared by the pages.
namespace ds {

struct GigabyteText {
  std::string value;  // bytes / 2^30 as "%6.2f"
  std::string unit;   // always "GB"
};

GigabyteText FormatGigabytes(std::int64_t byteCount);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ds
