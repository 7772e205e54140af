#include "pages/unicode_text_file.h"

#include <array>

#include "text/utf8_decoder.h"

namespace ds {
namespace {

// Code points of the bytes 0x80-0x9F; the five bytes Windows leaves undefined map to the
// C1 control of the same value, as its converter does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int CodePointToWindows1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
    return static_cast<int>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp)
      return static_cast<int>(0x80 + i);
  }
  return -1;
}

}  // namespace

char32_t Windows1252ToCodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

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
