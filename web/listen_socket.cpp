#include "web/listen_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstring>

namespace ds {

void ScopedFd::Reset(int fd) {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = fd;
}

int Listen(const std::string& host, int port, std::string* message) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
    *message = "cannot listen on " + host + ": not an address";
    return -1;
  }
  ScopedFd fd(::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  int yes = 1;
  bool ok = fd.get() >= 0 &&
            ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes)) == 0 &&
            ::bind(fd.get(), found->ai_addr, found->ai_addrlen) == 0 &&
            ::listen(fd.get(), SOMAXCONN) == 0;
  ::freeaddrinfo(found);
  if (!ok) {
    *message = "cannot listen on " + host + " port " + service + ": " + std::strerror(errno);
    return -1;
  }
  return fd.Release();
}

int LocalPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return -1;
  if (address.ss_family == AF_INET)
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
}

bool SplitHostPort(const std::string& text, std::string* host, int* port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos)
    return false;
  std::string name = text.substr(0, colon);
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  else if (name.find(':') != std::string::npos)
    return false;  // an IPv6 address needs its brackets
  const std::string digits = text.substr(colon + 1);
  int value = -1;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value < 1 || value > 65535)
    return false;
  *host = name.empty() ? "::" : name;
  *port = value;
  return true;
}

}  // namespace ds
