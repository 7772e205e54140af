#include "platform/network_names.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

namespace ds {

namespace {

std::string HostName() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0)
    return {};
  return host;
}

// The resolver's canonical name of `host`, or "" when it has none.
std::string CanonicalName(const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
    return {};
  std::string name = found->ai_canonname != nullptr ? found->ai_canonname : "";
  ::freeaddrinfo(found);
  return name;
}

}  // namespace

std::string MachineFqdn() {
  const std::string host = HostName();
  if (host.empty())
    return "localhost";
  const std::string canonical = CanonicalName(host);
  return canonical.empty() ? host : canonical;
}

std::vector<std::string> MachineNetworkNames() {
  std::vector<std::string> names;
  const std::string host = HostName();
  if (!host.empty()) {
    names.push_back(host);
    // The fully qualified name, as the resolver (normally /etc/hosts) gives it.
    const std::string canonical = CanonicalName(host);
    if (!canonical.empty() && canonical != host)
      names.push_back(canonical);
  }
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0)
    return names;
  for (ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_LOOPBACK))
      continue;
    char text[INET6_ADDRSTRLEN] = {};
    const int family = entry->ifa_addr->sa_family;
    const void* address = nullptr;
    if (family == AF_INET)
      address = &reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr;
    else if (family == AF_INET6)
      address = &reinterpret_cast<sockaddr_in6*>(entry->ifa_addr)->sin6_addr;
    if (address != nullptr && ::inet_ntop(family, address, text, sizeof text) != nullptr &&
        std::find(names.begin(), names.end(), text) == names.end()) {
      names.emplace_back(text);
    }
  }
  ::freeifaddrs(interfaces);
  return names;
}

bool IsLoopbackAddress(const std::string& address) {
  return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

}  // namespace ds
