#include "web/event_stream.h"

#include <algorithm>

namespace ds {

std::shared_ptr<EventStream::Client> EventStream::Connect(const std::vector<std::string>& initial) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (shutdown_ || maxClients_ == 0)
    return nullptr;
  if (clients_.size() >= maxClients_) {
    clients_.front()->closed = true;
    clients_.erase(clients_.begin());
    changed_.notify_all();
    if (wakeup_)
      wakeup_();  // the server ends its stream
  }
  auto client = std::make_shared<Client>();
  client->queue.assign(initial.begin(), initial.end());
  clients_.push_back(client);
  return client;
}

void EventStream::Disconnect(const std::shared_ptr<Client>& client) {
  std::lock_guard<std::mutex> lock(mutex_);
  client->closed = true;
  clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
  changed_.notify_all();
}

void EventStream::Broadcast(const std::string& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = clients_.begin(); it != clients_.end();) {
    Client& client = **it;
    if (client.queue.size() >= maxQueued_) {
      client.closed = true;  // a page that does not read is dropped
      it = clients_.erase(it);
      continue;
    }
    client.queue.push_back(event);
    ++it;
  }
  changed_.notify_all();
  if (wakeup_)
    wakeup_();
}

bool EventStream::Next(const std::shared_ptr<Client>& client, std::string* event,
                       std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, wait, [&] { return !client->queue.empty() || client->closed; });
  if (!client->queue.empty()) {
    *event = std::move(client->queue.front());
    client->queue.pop_front();
    return true;
  }
  event->clear();
  return !client->closed;
}

std::size_t EventStream::clientCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clients_.size();
}

void EventStream::Shutdown() {
  std::lock_guard<std::mutex> lock(mutex_);
  shutdown_ = true;
  for (auto& client : clients_)
    client->closed = true;
  clients_.clear();
  changed_.notify_all();
  if (wakeup_)
    wakeup_();
}

void EventStream::SetWakeup(std::function<void()> wakeup) {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeup_ = std::move(wakeup);
}

std::string EventBlock(const std::string& name, const std::string& json) {
  return "event: " + name + "\ndata: " + json + "\n\n";
}

}  // namespace ds
