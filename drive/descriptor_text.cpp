#include "drive/descriptor_text.h"
#include "text/text_helpers.h"

#include <optional>

namespace ds {

namespace {

bool IsPrintable(unsigned char c) {
  return c >= 0x20 && c < 0x7F;
}

// A blank counts as the digit 0.
std::optional<int> HexDigit(char c) {
  const int value = c == ' ' ? 0 : HexDigitValue(c);
  return value < 0 ? std::nullopt : std::optional<int>(value);
}

std::optional<std::string> FromHexPairs(std::string_view field) {
  if (field.size() % 2 != 0)
    return std::nullopt;
  std::string text;
  for (std::size_t i = 0; i < field.size(); i += 2) {
    std::optional<int> high = HexDigit(field[i]);
    std::optional<int> low = HexDigit(field[i + 1]);
    if (!high || !low)
      return std::nullopt;
    auto c = static_cast<unsigned char>(*high * 16 + *low);
    if (c == 0)
      break;
    if (!IsPrintable(c))
      return std::nullopt;
    text += static_cast<char>(c);
  }
  return text;
}

std::string Plain(std::string_view field) {
  std::string text;
  for (char c : field) {
    if (c == '\0' || !IsPrintable(static_cast<unsigned char>(c)))
      break;
    text += c;
  }
  return text;
}

}  // namespace

std::string DescriptorText(std::string_view field) {
  std::size_t nul = field.find('\0');
  if (nul != std::string_view::npos)
    field = field.substr(0, nul);
  std::optional<std::string> decoded = FromHexPairs(field);
  return std::string(TrimSpaces(decoded ? *decoded : Plain(field)));
}

}  // namespace ds
