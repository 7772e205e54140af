#include "text/leading_integer.h"

#include <limits>

namespace ds {

std::int64_t LeadingInteger64(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  // Accumulate as a negative number so that INT64_MIN is representable.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  bool saturated = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    int digit = text[i] - '0';
    if (value < (kMin + digit) / 10) {
      saturated = true;
      break;
    }
    value = value * 10 - digit;
  }
  if (saturated)
    return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative)
    return value;
  return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

int LeadingInteger(std::string_view text) {
  std::int64_t value = LeadingInteger64(text);
  if (value > std::numeric_limits<int>::max())
    return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min())
    return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

void AssignIfNotEmpty(std::string_view text, int* field) {
  if (!text.empty())
    *field = LeadingInteger(text);
}

void AssignIfNotEmpty(std::string_view text, std::int64_t* field) {
  if (!text.empty())
    *field = LeadingInteger64(text);
}

}  // namespace ds
