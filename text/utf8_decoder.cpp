#include "text/utf8_decoder.h"

namespace ds {

Utf8Step DecodeUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const Utf8Step lone{lead, 1, lead < 0x80};
  std::size_t length = 0;
  char32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2, lowest = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3, lowest = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4, lowest = 0x10000;
  if (length == 0 || length > text.size() - at)
    return lone;  // ASCII (valid), or a byte that starts no sequence or one cut by the end
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80)
      return lone;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return lone;
  return {value, length, true};
}

}  // namespace ds
