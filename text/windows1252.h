#pragma once

// The Windows-1252 code page, in which the program's 8-bit texts, pages and data files are
// written: one byte to its Unicode code point and back.
namespace ds {

// The code point of one Windows-1252 byte. The five bytes the code page leaves undefined
// (81, 8D, 8F, 90, 9D) map to the C1 control of the same value, as Windows' converter does.
char32_t Windows1252ToCodePoint(unsigned char byte);

// The Windows-1252 byte of a code point, or -1 where the code page has no such character.
int CodePointToWindows1252(char32_t cp);

}  // namespace ds
