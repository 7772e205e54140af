#include "web/request_guard.h"

#include <array>
#include <filesystem>
#include <utility>

#include "text/text_helpers.h"

namespace ds {
namespace {

template <typename Visit>
void ForEachCookie(std::string_view header, Visit visit) {
  while (!header.empty()) {
    std::size_t end = header.find(';');
    std::string_view item = TrimBoth(header.substr(0, end));
    header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
    if (item.empty())
      continue;
    std::size_t equals = item.find('=');
    std::string_view name = TrimBoth(item.substr(0, equals));
    std::string_view value =
        equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
    visit(item, name, value);
  }
}

}  // namespace

bool TokenMatches(std::string_view expected, std::string_view given) {
  if (expected.empty() || expected.size() != given.size())
    return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned char>(expected[i] ^ given[i]);
  }
  return difference == 0;
}

bool UnderSecretSegment(std::string_view path, std::string_view token, std::string_view* rest) {
  if (path.size() < token.size() + 2 || path.front() != '/' || path[token.size() + 1] != '/')
    return false;
  if (!TokenMatches(token, path.substr(1, token.size())))
    return false;
  *rest = path.substr(token.size() + 2);
  return true;
}

std::string CookieValue(std::string_view cookieHeader, std::string_view name) {
  std::string found;
  bool seen = false;
  ForEachCookie(cookieHeader, [&](std::string_view, std::string_view n, std::string_view v) {
    if (!seen && n == name) {
      found = std::string(v);
      seen = true;
    }
  });
  return found;
}

std::string WithoutCookie(std::string_view cookieHeader, std::string_view name) {
  std::string out;
  ForEachCookie(cookieHeader, [&](std::string_view item, std::string_view n, std::string_view) {
    if (n == name)
      return;
    if (!out.empty())
      out += "; ";
    out += item;
  });
  return out;
}

namespace {

// A name as a Host header carries it: lower case, an IPv6 address in brackets.
std::string HostName(std::string_view name) {
  std::string folded = FoldCase(name);
  if (folded.find(':') != std::string::npos && folded.front() != '[')
    folded = "[" + folded + "]";
  return folded;
}

}  // namespace

HostPolicy MakeHostPolicy(std::string_view bindAddress, const std::vector<std::string>& extraNames,
                          bool https) {
  HostPolicy policy;
  policy.https = https;
  policy.names = {"127.0.0.1", "localhost", "[::1]"};
  if (!bindAddress.empty() && bindAddress != "0.0.0.0" && bindAddress != "::")
    policy.names.push_back(HostName(bindAddress));
  for (const std::string& name : extraNames) {
    if (!name.empty())
      policy.names.push_back(HostName(name));
  }
  return policy;
}

bool HostAllowed(std::string_view host, int port, const HostPolicy& policy) {
  const std::string suffix = ":" + std::to_string(port);
  std::string name;
  if (host.size() > suffix.size() && host.substr(host.size() - suffix.size()) == suffix) {
    name = FoldCase(host.substr(0, host.size() - suffix.size()));
  } else if (port == (policy.https ? 443 : 80)) {
    name = FoldCase(host);  // browsers leave the default port out
  } else {
    return false;
  }
  for (const std::string& allowed : policy.names) {
    if (name == allowed)
      return true;
  }
  return false;
}

bool OriginAllowed(std::string_view origin, int port, const HostPolicy& policy) {
  if (origin.empty())
    return true;
  const std::string_view scheme = policy.https ? "https://" : "http://";
  if (origin.substr(0, scheme.size()) != scheme)
    return false;
  return HostAllowed(origin.substr(scheme.size()), port, policy);
}

const char* ServedContentType(std::string_view fileName) {
  static constexpr std::array<std::pair<std::string_view, const char*>, 14> kTypes = {{
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".png", "image/png"},
      {".gif", "image/gif"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".svg", "image/svg+xml"},
      {".ico", "image/x-icon"},
      {".bmp", "image/bmp"},
      {".xls", "application/vnd.ms-excel"},
      {".txt", "text/plain; charset=utf-8"},
      {".pdf", "application/pdf"},
  }};
  std::size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos)
    return nullptr;
  std::string extension = FoldCase(fileName.substr(dot));
  for (const auto& [known, type] : kTypes) {
    if (extension == known)
      return type;
  }
  return nullptr;
}

bool ResolveDataFile(const std::string& dataFolder, std::string_view relative, std::string* path) {
  if (relative.empty() || relative.size() > 1024)
    return false;
  if (relative.find('\\') != std::string_view::npos ||
      relative.find('\0') != std::string_view::npos) {
    return false;
  }
  std::string_view rest = relative;
  while (true) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    // Empty, ".", ".." and hidden parts (".input", lock files) are never served.
    if (part.empty() || part.front() == '.')
      return false;
    if (slash == std::string_view::npos)
      break;
    rest = rest.substr(slash + 1);
  }
  if (ServedContentType(relative) == nullptr)
    return false;

  std::error_code error;
  std::filesystem::path root = std::filesystem::canonical(dataFolder, error);
  if (error)
    return false;
  std::filesystem::path real =
      std::filesystem::canonical(std::filesystem::path(dataFolder) / relative, error);
  if (error)
    return false;
  std::string rootText = root.string();
  if (rootText.empty() || rootText.back() != '/')
    rootText += '/';
  std::string realText = real.string();
  if (realText.compare(0, rootText.size(), rootText) != 0)
    return false;
  if (!std::filesystem::is_regular_file(real, error) || error)
    return false;
  // The link target must be a served kind as well.
  if (ServedContentType(realText) == nullptr)
    return false;
  *path = realText;
  return true;
}

}  // namespace ds
