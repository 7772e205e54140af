#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <unordered_map>

#include <microhttpd.h>

// The open connections of one event-driven libmicrohttpd server and the limits they share:
// a connection has `requestLimit` to send its request from the time it opened, and
// `idleLimit` for each next one from the time its last answer went out (while it is
// answered it has no limit); kept-alive connections count as any other. Past three quarters of
// `maxConnections` each new connection closes the one that has waited longest for its
// request, so slow clients cannot keep the server's own clients out (they may all share
// 127.0.0.1, so a cap per address would shut those out instead). Closing shuts the
// socket; the library then sees the end of the stream and closes the connection. Used from
// the server's loop thread only; a server keeps its own per-connection extras beside it.
namespace ds {

class ConnectionRoster {
 public:
  using Clock = std::chrono::steady_clock;

  ConnectionRoster(std::chrono::milliseconds requestLimit, unsigned maxConnections,
                   std::chrono::milliseconds idleLimit = std::chrono::milliseconds::max())
      : requestLimit_(requestLimit),
        idleLimit_(std::min(idleLimit, requestLimit)),
        maxConnections_(maxConnections) {}

  // A new connection (`fd` its socket, -1 when unknown) starts waiting for its request and
  // may close the longest-waiting one.
  void Opened(MHD_Connection* connection, int fd, Clock::time_point now);
  void Closed(MHD_Connection* connection);
  // An answer is queued for `connection`, or it went out: the wait starts again.
  void Answering(MHD_Connection* connection);
  void Answered(MHD_Connection* connection, Clock::time_point now);

  // Closes the connections whose request is late; gives the earliest time at which one of
  // the others will be (Clock::time_point::max(): none waits).
  Clock::time_point CloseLate(Clock::time_point now);
  // True when a connection was closed since the last call: the library puts its listening
  // socket back only at the start of its next run, so the loop should run it at once.
  bool TakeClosed();
  std::size_t size() const { return connections_.size(); }

  // The library's callbacks (MHD_OPTION_NOTIFY_CONNECTION, MHD_OPTION_NOTIFY_COMPLETED),
  // `self` the roster, for a server with no extras of its own.
  static void OnConnection(void* self, MHD_Connection* connection, void**,
                           MHD_ConnectionNotificationCode code);
  static void OnCompleted(void* self, MHD_Connection* connection, void**,
                          MHD_RequestTerminationCode);

 private:
  struct Entry {
    int fd = -1;
    Clock::time_point waitingSince;
    bool answering = false;
    bool answered = false;  // kept alive after an answer
    bool shut = false;
  };

  static void Shut(Entry& entry);

  const std::chrono::milliseconds requestLimit_;
  const std::chrono::milliseconds idleLimit_;
  const unsigned maxConnections_;
  std::unordered_map<MHD_Connection*, Entry> connections_;
  bool closed_ = false;
};

// A poll time-out in milliseconds from `now` until `next` (-1 for
// Clock::time_point::max(), 0 when it has passed).
int PollTimeout(ConnectionRoster::Clock::time_point next, ConnectionRoster::Clock::time_point now);

}  // namespace ds
