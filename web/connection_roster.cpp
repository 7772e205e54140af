#include "web/connection_roster.h"

#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace ds {

void ConnectionRoster::Shut(Entry& entry) {
  if (entry.fd >= 0)
    ::shutdown(entry.fd, SHUT_RDWR);
  entry.shut = true;
}

void ConnectionRoster::Opened(MHD_Connection* connection, int fd, Clock::time_point now) {
  Entry& entry = connections_[connection];
  entry.fd = fd;
  entry.waitingSince = now;
  if (connections_.size() <= maxConnections_ / 4 * 3)
    return;
  Entry* oldest = nullptr;
  for (auto& [other, state] : connections_) {
    if (other != connection && !state.answering && !state.shut && state.fd >= 0 &&
        (oldest == nullptr || state.waitingSince < oldest->waitingSince)) {
      oldest = &state;
    }
  }
  if (oldest != nullptr)
    Shut(*oldest);
}

void ConnectionRoster::Closed(MHD_Connection* connection) {
  connections_.erase(connection);
  closed_ = true;
}

void ConnectionRoster::Answering(MHD_Connection* connection) {
  if (auto it = connections_.find(connection); it != connections_.end())
    it->second.answering = true;
}

void ConnectionRoster::Answered(MHD_Connection* connection, Clock::time_point now) {
  if (auto it = connections_.find(connection); it != connections_.end()) {
    it->second.answering = false;
    it->second.answered = true;
    it->second.waitingSince = now;
  }
}

ConnectionRoster::Clock::time_point ConnectionRoster::CloseLate(Clock::time_point now) {
  Clock::time_point next = Clock::time_point::max();
  for (auto& [connection, state] : connections_) {
    if (state.answering || state.shut)
      continue;
    const auto limit = state.answered ? idleLimit_ : requestLimit_;
    if (now - state.waitingSince >= limit)
      Shut(state);
    else
      next = std::min(next, state.waitingSince + limit);
  }
  return next;
}

bool ConnectionRoster::TakeClosed() {
  return std::exchange(closed_, false);
}

void ConnectionRoster::OnConnection(void* self, MHD_Connection* connection, void**,
                                    MHD_ConnectionNotificationCode code) {
  auto& roster = *static_cast<ConnectionRoster*>(self);
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
    roster.Closed(connection);
    return;
  }
  const union MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  roster.Opened(connection, info == nullptr ? -1 : info->connect_fd, Clock::now());
}

void ConnectionRoster::OnCompleted(void* self, MHD_Connection* connection, void**,
                                   MHD_RequestTerminationCode) {
  static_cast<ConnectionRoster*>(self)->Answered(connection, Clock::now());
}

int PollTimeout(ConnectionRoster::Clock::time_point next, ConnectionRoster::Clock::time_point now) {
  if (next == ConnectionRoster::Clock::time_point::max())
    return -1;
  if (next <= now)
    return 0;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(next - now).count());
}

}  // namespace ds
