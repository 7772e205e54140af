#include "text/local_time_text.h"

#include <ctime>

namespace ds {

std::string LocalTimeText(std::int64_t secondsSince1970) {
  const auto time = static_cast<std::time_t>(secondsSince1970);
  std::tm local{};
  char text[64];
  if (secondsSince1970 == 0 || localtime_r(&time, &local) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M %Z", &local) == 0)
    return "---";
  return text;
}

}  // namespace ds
