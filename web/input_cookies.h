#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// The page-input cookies of one run. A browser sends the cookies of a host to every port of
// it, and any page on that host can set cookies for any path; so the page scripts give each
// input cookie the run's name prefix (derived from the secret path segment) and the path of
// the window's data folder, and only cookies with that prefix are taken in. The intake keeps
// the latest value of every input, so an input stays taken once the browser stops sending
// it (its cookie is expired after the intake).
namespace ds {

// "ds" + token + "_": the name prefix of this run's input cookies.
std::string InputCookiePrefix(std::string_view token);

class InputCookies {
 public:
  explicit InputCookies(std::string prefix) : prefix_(std::move(prefix)) {}

  struct Intake {
    bool carried = false;            // the header held cookies of this run
    std::vector<std::string> stale;  // full names whose value sent was already taken before
  };
  // Takes in the cookies of this run from one Cookie header ("a=1; b=2"). Of a name sent
  // twice the first counts (the cookie of the most specific path).
  Intake TakeIn(std::string_view cookieHeader);

  // Every input taken so far as "name=value" items joined by "; ", names without the
  // prefix, values as sent (still percent-encoded).
  std::string Text() const;

  // At most this many inputs are kept; further names are ignored, as is a cookie longer
  // than a browser stores (name and value over 4096 bytes).
  static constexpr std::size_t kMaxInputs = 64;
  static constexpr std::size_t kMaxCookieBytes = 4096;

 private:
  const std::string prefix_;
  std::map<std::string, std::string> taken_;
};

}  // namespace ds
