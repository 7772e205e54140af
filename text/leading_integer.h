#pragma once

#include <cstdint>
#include <string_view>

// The rule by which stored texts become whole numbers: leading white space, an optional
// sign, then the digits up to the first non-digit; no digits gives 0. Values beyond the
// type's range saturate instead of wrapping.
namespace ds {

int LeadingInteger(std::string_view text);
std::int64_t LeadingInteger64(std::string_view text);

// Stores the leading-integer value of `text` in `field` when `text` is not empty; an
// empty text leaves the field as it was.
void AssignIfNotEmpty(std::string_view text, int* field);
void AssignIfNotEmpty(std::string_view text, std::int64_t* field);

}  // namespace ds
