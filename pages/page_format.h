#pragma once

#include <cstdint>
#include <string>

#include "text/text_helpers.h"  // Format

// Small number formats shared by the pages.
namespace ds {

struct GigabyteText {
  std::string value;  // bytes / 2^30 as "%6.2f"
  std::string unit;   // always "GB"
};

GigabyteText FormatGigabytes(std::int64_t byteCount);

}  // namespace ds
