#pragma once

#include <string>
#include <string_view>

// The program's 8-bit texts are Windows-1252, the code page its pages and data files were
// made in. These conversions produce the 16-bit (UTF-16LE) files and read UTF-8 texts that
// Linux hands us (volume labels, mount points) into that code page.
namespace ds {

// The byte-order mark FF FE followed by `text` (Windows-1252) as UTF-16LE.
std::string ToUtf16LeWithBom(std::string_view text);

// UTF-8 to Windows-1252; characters the code page lacks become "?". Bytes that are not
// valid UTF-8 are taken as Windows-1252 already, so 8-bit input passes through unchanged.
std::string Utf8ToWindows1252(std::string_view text);

}  // namespace ds
