#pragma once

#include <string>
#include <utility>

// The listening sockets of the program's servers (the window's and the metrics'), and the
// one owner of a file descriptor they share.
namespace ds {

// Owns one file descriptor.
class ScopedFd {
 public:
  explicit ScopedFd(int fd = -1) : fd_(fd) {}
  ~ScopedFd() { Reset(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset(int fd = -1);

 private:
  int fd_;
};

// A listening TCP socket on `host` (a numeric address) and `port` (0: any free one); -1
// with `message` on failure.
int Listen(const std::string& host, int port, std::string* message);

// The port a listening socket got.
int LocalPort(int fd);

// Splits "ADDR:PORT" ("127.0.0.1:9101", "[::]:9101", ":9101" for every address) into its
// parts; false for anything else.
bool SplitHostPort(const std::string& text, std::string* host, int* port);

}  // namespace ds
