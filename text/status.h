#pragma once

#include <string>
#include <utility>

namespace ds {

// The result of a fallible operation that has something to say when it fails: ok, or not
// ok with one line for the user ("no rights to open /dev/sda ..."). Converts to bool.
struct [[nodiscard]] Status {
  bool ok = true;
  std::string message;  // "" when ok

  static Status Ok() { return {}; }
  static Status Failed(std::string why) { return {false, std::move(why)}; }
  explicit operator bool() const { return ok; }
};

}  // namespace ds
