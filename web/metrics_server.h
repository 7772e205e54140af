#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/waiting_thread.h"

// The Prometheus endpoint: GET /metrics on a listener of its own, answered from the
// monitor's last readings (`text`), read-only, without the window's token, nothing else
// served. A scrape never reaches a disk, so a hung disk cannot hang it.
//
// It keeps the window server's limits: one thread serves every connection, event-driven, so
// a slow client holds a connection, never a thread; a connection has `requestLimit` to send
// its request from the time it opened or its last answer went out, and past three quarters
// of `maxConnections` each new connection closes the one that has waited longest for its
// request. A Host header must name this machine (web/request_guard.h: loopback names, the
// listen address and `hostNames`), or the request gets 421 and a log line; a page of another
// site that rebinds its name to this machine cannot read the disks' models and serials.
namespace ds {

struct MetricsServerOptions {
  // Further names a Host header may carry: the machine's own addresses and host names and
  // those the administrator allows.
  std::vector<std::string> hostNames;
  std::chrono::milliseconds requestLimit = std::chrono::seconds(10);
  unsigned maxConnections = 64;
  std::function<void(const std::string&)> log;  // refused Hosts; nothing when empty
};

class MetricsServer {
 public:
  // `text` gives the whole exposition text; it is called once per scrape.
  explicit MetricsServer(std::function<std::string()> text, MetricsServerOptions options = {});
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Listens on `listen` ("ADDR:PORT"; port 0 is refused) with a thread of its own. False with
  // `message` when the text is no address or the address cannot be bound.
  bool Start(const std::string& listen, std::string* message);
  int port() const { return port_; }
  // Closes every connection and waits for the serving thread.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  WaitingThread loop_;  // the event loop, waiting in poll
  int port_ = 0;
};

}  // namespace ds
