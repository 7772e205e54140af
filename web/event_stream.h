#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The server-sent event stream to the open shell pages: every connected page has a queue
// of pending events; a broadcast appends to all of them. A page that stops reading is
// dropped once its queue is full, so one stuck browser never holds up the program. Each
// stream holds one of the six connections a browser opens to a host, so there are at most
// four: a fifth page takes the place of the oldest (most often one reloaded or gone),
// and every page keeps two connections for its requests.
namespace ds {

class EventStream {
 public:
  struct Client {
    std::deque<std::string> queue;
    bool closed = false;
  };

  explicit EventStream(std::size_t maxClients = 4, std::size_t maxQueued = 512)
      : maxClients_(maxClients), maxQueued_(maxQueued) {}

  // Registers a page; `initial` events are queued for it first. When `maxClients` pages
  // are connected, the oldest one is closed. nullptr when the stream was shut down.
  std::shared_ptr<Client> Connect(const std::vector<std::string>& initial);
  void Disconnect(const std::shared_ptr<Client>& client);

  // Queues `event` (a complete "event: ...\ndata: ...\n\n" block) for every page.
  void Broadcast(const std::string& event);

  // Waits up to `wait` for the client's next event. Returns false when the client is
  // closed and has nothing left; true with an empty `event` when the wait ran out.
  bool Next(const std::shared_ptr<Client>& client, std::string* event,
            std::chrono::milliseconds wait);

  std::size_t clientCount() const;

  // `wakeup` runs whenever events were queued or the stream shut down (under the stream's
  // lock: it must only signal, never call back); the server's event loop wakes with it.
  // An empty function removes it.
  void SetWakeup(std::function<void()> wakeup);

  // Lets every page read what is queued, then ends the streams; no new pages connect.
  void Shutdown();

 private:
  const std::size_t maxClients_;
  const std::size_t maxQueued_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Client>> clients_;
  std::function<void()> wakeup_;
  bool shutdown_ = false;
};

// One event block: "event: <name>\ndata: <json>\n\n".
std::string EventBlock(const std::string& name, const std::string& json);

}  // namespace ds
