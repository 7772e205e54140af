#include "sheet/xls_text.h"

#include <cstdint>

#include "text/utf8_decoder.h"
#include "text/windows1252.h"

namespace ds {
namespace {

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  }
  return true;
}

}  // namespace

std::string EncodeXlsText(std::string_view text, std::size_t maxUnits) {
  std::string encoded;
  if (IsAscii(text)) {  // the common case: disk texts and most page texts
    const std::size_t count = text.size() < maxUnits ? text.size() : maxUnits;
    encoded.reserve(count + 1);
    encoded.push_back(static_cast<char>(kXlsCompressed));
    encoded.append(text.substr(0, count));
    return encoded;
  }
  std::u16string units;
  units.reserve(text.size());
  bool compressible = true;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Step step = DecodeUtf8(text, at);
    at += step.length;
    const char32_t c =
        step.valid ? step.value : Windows1252ToCodePoint(static_cast<unsigned char>(step.value));
    if (c <= 0xFFFF) {
      if (units.size() + 1 > maxUnits)
        break;
      units.push_back(static_cast<char16_t>(c));
      compressible = compressible && c <= 0xFF;
    } else {
      if (units.size() + 2 > maxUnits)
        break;
      const char32_t offset = c - 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
      compressible = false;
    }
  }
  if (compressible) {
    encoded.reserve(units.size() + 1);
    encoded.push_back(static_cast<char>(kXlsCompressed));
    for (char16_t unit : units)
      encoded.push_back(static_cast<char>(unit));
  } else {
    encoded.reserve(units.size() * 2 + 1);
    encoded.push_back(static_cast<char>(kXlsUncompressed));
    for (char16_t unit : units) {
      encoded.push_back(static_cast<char>(unit & 0xFF));
      encoded.push_back(static_cast<char>(unit >> 8));
    }
  }
  return encoded;
}

}  // namespace ds
