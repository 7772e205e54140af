#pragma once

#include <string>
#include <string_view>

// The small text operations every layer shares: trimming and ASCII case folding. One
// definition each, so the key=value files, the sysfs texts, the request headers and the
// disk's own texts are all trimmed and compared the same way.
namespace ds {

// White space of the key=value format and of most system files: space, tab, CR, LF, VT, FF.
bool IsBlank(char c);
// 0-15 for a hexadecimal digit of either case, -1 for any other character.
int HexDigitValue(char c);

std::string_view TrimRight(std::string_view text);
std::string_view TrimBoth(std::string_view text);

// Only the space character: ATA texts are padded with spaces, and a tab inside one is data.
std::string_view TrimSpaces(std::string_view text);

// ASCII lower and upper case; other bytes are kept.
std::string FoldCase(std::string_view text);
std::string UpperCase(std::string_view text);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Failures are return values with a one-line message; callers that do not want the
// message pass nullptr. This stores `text` when there is somewhere to store it.
inline void SetMessage(std::string* message, std::string text) {
  if (message != nullptr)
    *message = std::move(text);
}

// printf into a std::string, of any length (a mount point may be long).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ds
