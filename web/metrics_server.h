#pragma once

#include <functional>
#include <memory>
#include <string>

// The Prometheus endpoint: GET /metrics on a listener of its own, answered from the
// monitor's last readings (`text`), read-only, without the window's token, nothing else
// served. A scrape never reaches a disk, so a hung disk cannot hang it.
namespace ds {

class MetricsServer {
 public:
  // `text` gives the whole exposition text; it is called once per scrape.
  explicit MetricsServer(std::function<std::string()> text);
  ~MetricsServer();
  MetricsServer(const MetricsServer&) = delete;
  MetricsServer& operator=(const MetricsServer&) = delete;

  // Listens on `listen` ("ADDR:PORT"; port 0 is refused) with a thread of its own. False with
  // `message` when the text is no address or the address cannot be bound.
  bool Start(const std::string& listen, std::string* message);
  int port() const { return port_; }
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace ds
