#pragma once

#include <string>
#include <string_view>

namespace ds {

// A text field of a storage descriptor as the enumeration stores it. Some storage stacks
// report texts (serial numbers above all) as hex digit pairs: the field is first read that
// way, blanks counting as the digit 0. When a character is not a hex digit, the count is
// odd, or a pair gives a character that is neither printable nor NUL, the field is taken
// as plain printable characters up to the first NUL instead (empty when a non-printable
// one comes first). Either way the result is trimmed of blanks on both sides.
std::string DescriptorText(std::string_view field);

}  // namespace ds
