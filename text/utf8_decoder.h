#pragma once

#include <cstddef>
#include <string_view>

// The program's one UTF-8 decoder: the next character of a byte range.
//
// Only well-formed UTF-8 is decoded: 1-4 byte sequences for U+0000-U+10FFFF without
// surrogates. Any other byte at the position asked for is a lone byte: a stray
// continuation byte, a lead byte that never starts a sequence (C0, C1, F5-FF), a sequence
// cut short (by the end of the range or a byte that does not continue it), an overlong
// form, an encoded surrogate (U+D800-U+DFFF) or a code point above U+10FFFF. A lone byte
// is one step of one byte whose value is the byte itself; the caller chooses what it
// stands for (U+FFFD, a Windows-1252 character, the byte unchanged) and decoding goes on
// at the very next byte, so no valid character after a bad byte is ever swallowed.
namespace ds {

struct Utf8Step {
  char32_t value = 0;      // the code point, or the lone byte's value (0x80-0xFF)
  std::size_t length = 0;  // bytes taken: 1-4, and 1 for a lone byte
  bool valid = false;      // false for a lone byte
};

// Decodes the character starting at text[at]; `at` must lie inside `text`.
Utf8Step DecodeUtf8(std::string_view text, std::size_t at);

}  // namespace ds
