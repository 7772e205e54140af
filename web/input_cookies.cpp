#include "web/input_cookies.h"

#include <set>

#include "text/text_helpers.h"

namespace ds {

std::string InputCookiePrefix(std::string_view token) {
  return "ds" + std::string(token) + "_";
}

InputCookies::Intake InputCookies::TakeIn(std::string_view cookieHeader) {
  Intake intake;
  std::set<std::string, std::less<>> seen;
  while (!cookieHeader.empty()) {
    const std::size_t end = cookieHeader.find(';');
    const std::string_view item = TrimBoth(cookieHeader.substr(0, end));
    cookieHeader =
        end == std::string_view::npos ? std::string_view() : cookieHeader.substr(end + 1);
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos)
      continue;
    const std::string_view fullName = TrimBoth(item.substr(0, equals));
    if (fullName.size() <= prefix_.size() || fullName.substr(0, prefix_.size()) != prefix_ ||
        !seen.emplace(fullName).second) {
      continue;
    }
    intake.carried = true;
    const std::string name(fullName.substr(prefix_.size()));
    const std::string_view value = TrimBoth(item.substr(equals + 1));
    if (fullName.size() + value.size() > kMaxCookieBytes)
      continue;
    auto it = taken_.find(name);
    if (it != taken_.end() && it->second == value) {
      intake.stale.emplace_back(fullName);
    } else if (it != taken_.end()) {
      it->second = std::string(value);
    } else if (taken_.size() < kMaxInputs) {
      taken_.emplace(name, std::string(value));
    }
  }
  return intake;
}

std::string InputCookies::Text() const {
  std::string text;
  for (const auto& [name, value] : taken_) {
    if (!text.empty())
      text += "; ";
    text += name + "=" + value;
  }
  return text;
}

}  // namespace ds
