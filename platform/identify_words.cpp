#include "platform/identify_words.h"

#include "text/text_helpers.h"

namespace ds {

IdentifyWords IdentifyWordsFromBytes(std::span<const std::uint8_t, 512> bytes) {
  IdentifyWords words{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return words;
}

std::string IdentifyText(const IdentifyWords& words, int first, int count, bool trim) {
  std::string text;
  for (int i = first; i < first + count && i < 256; ++i) {
    char high = static_cast<char>(words[i] >> 8);
    if (high == '\0')
      break;
    text += high;
    char low = static_cast<char>(words[i] & 0xFFu);
    if (low == '\0')
      break;
    text += low;
  }
  if (trim)
    return std::string(TrimSpaces(text));
  return text;
}

}  // namespace ds
