#include "pages/unicode_text_file.h"

#include "text/utf8_decoder.h"
#include "text/windows1252.h"

namespace ds {

std::string ToUtf16LeWithBom(std::string_view text) {
  std::string out;
  out.reserve(2 + 2 * text.size());
  out += '\xFF';
  out += '\xFE';
  for (char c : text) {
    char32_t cp = Windows1252ToCodePoint(static_cast<unsigned char>(c));
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>((cp >> 8) & 0xFF);
  }
  return out;
}

std::string Utf8ToWindows1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Step step = DecodeUtf8(text, i);
    if (step.length == 1) {  // ASCII, or a lone byte that is not UTF-8: keep it as it is
      out += text[i];
      ++i;
      continue;
    }
    int mapped = CodePointToWindows1252(step.value);
    out += mapped < 0 ? '?' : static_cast<char>(mapped);
    i += step.length;
  }
  return out;
}

}  // namespace ds
