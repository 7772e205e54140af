#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Turns the program's texts into the character form of BIFF8 strings.
//
// The program's texts are UTF-8 (disk texts are plain ASCII, page texts are ours). A BIFF8
// string stores its characters either compressed (one byte per character: the low byte of
// a code point up to U+00FF, i.e. Latin-1) or uncompressed (UTF-16LE code units). A text
// whose characters all lie at or below U+00FF is written compressed; any other text is
// written uncompressed, so readers always show the characters that were meant.
//
// A byte that is not part of a well-formed UTF-8 sequence (stray continuation byte,
// truncated or overlong sequence, encoded surrogate, code point above U+10FFFF) stands for
// itself as a Windows-1252 character, the code page the original data files used, e.g.
// 0xE9 -> "é", 0x80 -> "€". Nothing is dropped and nothing becomes garbage.
//
// Texts longer than kMaxXlsTextUnits UTF-16 code units (the most a spreadsheet cell holds)
// are cut at that length, never inside a surrogate pair.
namespace ds {

inline constexpr std::size_t kMaxXlsTextUnits = 32767;

// Option byte of a BIFF8 string: bit 0 set means UTF-16LE characters.
inline constexpr unsigned char kXlsCompressed = 0x00;
inline constexpr unsigned char kXlsUncompressed = 0x01;

// The encoded form used throughout the writer: one option byte followed by the characters
// (one byte each when compressed, two bytes each when not).
std::string EncodeXlsText(std::string_view text, std::size_t maxUnits = kMaxXlsTextUnits);

// Number of characters (UTF-16 code units) in an encoded text made by EncodeXlsText.
inline std::size_t XlsTextUnits(std::string_view encoded) {
  if (encoded.empty())
    return 0;
  const std::size_t bytes = encoded.size() - 1;
  return static_cast<unsigned char>(encoded[0]) & kXlsUncompressed ? bytes / 2 : bytes;
}

}  // namespace ds
