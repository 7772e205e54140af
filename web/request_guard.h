#pragma once

#include <string>
#include <string_view>
#include <vector>

// The checks every request to the shell server passes: the per-run token as the first path
// segment, the Host and Origin headers (so other web sites and DNS rebinding cannot drive the
// program) and the mapping of a request path onto a file inside the data folder. Pure
// functions.
namespace ds {

// Compares in time independent of where the texts differ; an empty expected token never
// matches.
bool TokenMatches(std::string_view expected, std::string_view given);

// True when the decoded request `path` lies under the secret segment "/<token>/"; `rest`
// is then what follows it ("" for the shell page, "data/SMARTPage.html", "ui/events").
bool UnderSecretSegment(std::string_view path, std::string_view token, std::string_view* rest);

// The value of cookie `name` in a Cookie header ("a=1; b=2"), or "" when absent.
std::string CookieValue(std::string_view cookieHeader, std::string_view name);

// The Cookie header without cookie `name`, items joined by "; ".
std::string WithoutCookie(std::string_view cookieHeader, std::string_view name);

// The names a Host header may carry to reach this server, and its scheme.
struct HostPolicy {
  std::vector<std::string> names;  // lower case; IPv6 addresses in brackets
  bool https = false;
};

// 127.0.0.1, localhost and [::1], a concrete bind address, and `extraNames`: for a server
// that other machines reach, its own addresses and host name and the names given with
// --allow-host. A wildcard bind address adds no name of its own (DNS rebinding would pass).
HostPolicy MakeHostPolicy(std::string_view bindAddress, const std::vector<std::string>& extraNames,
                          bool https);

// True when `host` (a Host header) is one of the policy's names with `port` (browsers leave
// the scheme's default port, 80 or 443, out).
bool HostAllowed(std::string_view host, int port, const HostPolicy& policy);

// True when `origin` is absent ("") or the policy's scheme followed by an allowed host.
bool OriginAllowed(std::string_view origin, int port, const HostPolicy& policy);

// Maps `relative` (the request path after "/data/", already percent-decoded) onto a file
// of `dataFolder` (with a trailing "/"). Fails for "..", ".", empty or hidden path parts,
// back slashes, NUL bytes, files whose kind is not served, anything that is not a regular
// file, and anything whose real path (symbolic links resolved) leaves the data folder.
bool ResolveDataFile(const std::string& dataFolder, std::string_view relative, std::string* path);

// The Content-Type of a served file kind, or nullptr for kinds never served (settings,
// history and registry files, copies of cookies, the mail program).
const char* ServedContentType(std::string_view fileName);

}  // namespace ds
