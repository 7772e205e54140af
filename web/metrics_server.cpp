#include "web/metrics_server.h"

#include <microhttpd.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "web/connection_roster.h"
#include "web/listen_socket.h"
#include "web/request_guard.h"

namespace ds {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
// A connection whose answer does not move for this long is closed by the library.
constexpr unsigned kStalledSeconds = 10;

// A Host header as a log line may show it: printable ASCII, at most 100 characters.
std::string Printable(const char* text) {
  std::string out;
  for (const char* c = text; *c != '\0' && out.size() < 100; ++c)
    out += *c >= 0x20 && *c < 0x7F ? *c : '?';
  return out;
}

}  // namespace

struct MetricsServer::Impl {
  Impl(std::function<std::string()> text, MetricsServerOptions options)
      : text(std::move(text)),
        options(std::move(options)),
        roster(this->options.requestLimit, this->options.maxConnections) {}

  const std::function<std::string()> text;
  const MetricsServerOptions options;
  HostPolicy hosts;
  int port = 0;
  MHD_Daemon* daemon = nullptr;
  ScopedFd wake;
  std::atomic<bool> stopping{false};
  ConnectionRoster roster;

  MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                    const char* type) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
      return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    roster.Answering(connection);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
  }

  MHD_Result OnRequest(MHD_Connection* connection, const char* url, const char* method,
                       std::size_t* uploadSize, void** state) {
    // The first call only announces a request; a body (which nothing here takes) is read
    // and dropped, up to the connection's memory limit; the answer goes after it.
    if (*state == nullptr) {
      *state = this;
      return MHD_YES;
    }
    if (*uploadSize != 0) {
      *uploadSize = 0;
      return MHD_YES;
    }
    const char* host = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Host");
    if (host == nullptr)
      host = "";
    if (!HostAllowed(host, port, hosts)) {
      if (options.log)
        options.log("metrics: refused a request for Host \"" + Printable(host) + "\"");
      return Answer(connection, MHD_HTTP_MISDIRECTED_REQUEST,
                    "This server does not answer to that host name.\n", "text/plain");
    }
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                     std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!get)
      return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET.\n", "text/plain");
    if (std::strcmp(url, "/metrics") != 0)
      return Answer(connection, MHD_HTTP_NOT_FOUND, "Only /metrics is served here.\n",
                    "text/plain");
    return Answer(connection, MHD_HTTP_OK, text(), kMetricsType);
  }

  // Closes the connections whose request is late; gives the milliseconds until the loop
  // has something to do by itself (-1: nothing).
  int CloseLateConnections(Clock::time_point now) {
    Clock::time_point next = roster.CloseLate(now);
    MHD_UNSIGNED_LONG_LONG libraryMs = 0;
    if (MHD_get_timeout(daemon, &libraryMs) == MHD_YES) {
      next = std::min(next, now + std::chrono::milliseconds(
                                      std::min<MHD_UNSIGNED_LONG_LONG>(libraryMs, 60000)));
    }
    return PollTimeout(next, now);
  }

  void Run() {
    const union MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    pollfd fds[2] = {{info == nullptr ? -1 : info->epoll_fd, POLLIN, 0}, {wake.get(), POLLIN, 0}};
    while (!stopping.load()) {
      MHD_run(daemon);
      // A connection closed at the limit lets the library listen again, but it puts the
      // listening socket back only at the start of its next run: run it at once.
      if (roster.TakeClosed())
        continue;
      const int timeout = CloseLateConnections(Clock::now());
      fds[0].revents = fds[1].revents = 0;
      ::poll(fds, 2, timeout);
    }
    int listener = static_cast<int>(MHD_quiesce_daemon(daemon));
    if (listener >= 0)
      ::close(listener);
    MHD_stop_daemon(daemon);
    daemon = nullptr;
  }

  static MHD_Result OnRequestThunk(void* self, MHD_Connection* connection, const char* url,
                                   const char* method, const char*, const char*,
                                   std::size_t* uploadSize, void** state) {
    return static_cast<Impl*>(self)->OnRequest(connection, url, method, uploadSize, state);
  }
};

MetricsServer::MetricsServer(std::function<std::string()> text, MetricsServerOptions options)
    : impl_(std::make_unique<Impl>(std::move(text), std::move(options))) {}

MetricsServer::~MetricsServer() {
  Stop();
}

bool MetricsServer::Start(const std::string& listen, std::string* message) {
  Impl& impl = *impl_;
  std::string host;
  int port = 0;
  if (!SplitHostPort(listen, &host, &port)) {
    *message = "--metrics-listen needs ADDR:PORT (e.g. 127.0.0.1:9101), not \"" + listen + "\"";
    return false;
  }
  ScopedFd listener(Listen(host, port, message));
  if (listener.get() < 0)
    return false;
  impl.port = LocalPort(listener.get());
  impl.hosts = MakeHostPolicy(host, impl.options.hostNames, false);
  impl.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (impl.wake.get() < 0) {
    *message = std::string("cannot set up the metrics server: ") + std::strerror(errno);
    return false;
  }
  impl.daemon = MHD_start_daemon(
      MHD_USE_EPOLL, 0, nullptr, nullptr, &Impl::OnRequestThunk, &impl, MHD_OPTION_LISTEN_SOCKET,
      static_cast<MHD_socket>(listener.get()), MHD_OPTION_CONNECTION_LIMIT,
      impl.options.maxConnections, MHD_OPTION_CONNECTION_TIMEOUT, kStalledSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(32 * 1024),
      MHD_OPTION_NOTIFY_COMPLETED, &ConnectionRoster::OnCompleted, &impl.roster,
      MHD_OPTION_NOTIFY_CONNECTION, &ConnectionRoster::OnConnection, &impl.roster, MHD_OPTION_END);
  if (impl.daemon == nullptr) {
    *message = "cannot start the metrics server on " + listen;
    return false;
  }
  listener.Release();  // the daemon owns it now
  port_ = impl.port;
  loop_ = WaitingThread([&impl] { impl.Run(); });
  return true;
}

void MetricsServer::Stop() {
  if (!loop_.joinable())
    return;
  impl_->stopping = true;
  std::uint64_t one = 1;
  [[maybe_unused]] ssize_t written = ::write(impl_->wake.get(), &one, sizeof(one));
  loop_.join();
}

}  // namespace ds
