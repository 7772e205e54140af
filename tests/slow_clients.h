#pragma once

#include <arpa/inet.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <thread>

#include "web/listen_socket.h"

namespace ds {

// `count` connections to 127.0.0.1:`port` that each send a request line, then one header
// line a second and never finish, until destroyed (which closes them).
class SlowClients {
 public:
  SlowClients(int port, int count) {
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    for (int i = 0; i < count; ++i) {
      const int fd = fds_.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)).get();
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      ::send(fd, "GET /metrics HTTP/1.1\r\n", 23, MSG_NOSIGNAL);
    }
    trickle_ = std::thread([this] {
      for (int tenth = 0; !done_;
           ++tenth, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        for (const ScopedFd& fd : fds_)
          if (tenth % 10 == 0)
            ::send(fd.get(), "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
    });
  }
  ~SlowClients() {
    done_ = true;
    trickle_.join();
  }

 private:
  std::deque<ScopedFd> fds_;
  std::atomic<bool> done_{false};
  std::thread trickle_;
};

}  // namespace ds
