#include "web/metrics_server.h"

#include <microhttpd.h>

#include <cstring>

#include "web/listen_socket.h"

namespace ds {
namespace {

constexpr const char* kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
// Scrapers come rarely and a few at a time.
constexpr unsigned kConnectionLimit = 32;
constexpr unsigned kIdleSeconds = 10;

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                  const char* type) {
  MHD_Response* response = MHD_create_response_from_buffer(
      body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
  MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

struct MetricsServer::Impl {
  std::function<std::string()> text;
  MHD_Daemon* daemon = nullptr;

  static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char*, std::size_t* uploadSize,
                              void** state) {
    // The first call only announces a request; a body (which nothing here takes) is read
    // and dropped, up to the connection's memory limit; the answer goes after it.
    if (*state == nullptr) {
      *state = self;
      return MHD_YES;
    }
    if (*uploadSize != 0) {
      *uploadSize = 0;
      return MHD_YES;
    }
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                     std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!get)
      return Answer(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET.\n", "text/plain");
    if (std::strcmp(url, "/metrics") != 0)
      return Answer(connection, MHD_HTTP_NOT_FOUND, "Only /metrics is served here.\n",
                    "text/plain");
    return Answer(connection, MHD_HTTP_OK, static_cast<Impl*>(self)->text(), kMetricsType);
  }
};

MetricsServer::MetricsServer(std::function<std::string()> text) : impl_(std::make_unique<Impl>()) {
  impl_->text = std::move(text);
}

MetricsServer::~MetricsServer() {
  Stop();
}

bool MetricsServer::Start(const std::string& listen, std::string* message) {
  std::string host;
  int port = 0;
  if (!SplitHostPort(listen, &host, &port)) {
    *message = "--metrics-listen needs ADDR:PORT (e.g. 127.0.0.1:9101), not \"" + listen + "\"";
    return false;
  }
  ScopedFd listener(Listen(host, port, message));
  if (listener.get() < 0)
    return false;
  port_ = LocalPort(listener.get());
  impl_->daemon = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL, 0, nullptr, nullptr, &Impl::OnRequest,
      impl_.get(), MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(listener.get()),
      MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit, MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(32 * 1024), MHD_OPTION_END);
  if (impl_->daemon == nullptr) {
    *message = "cannot start the metrics server on " + listen;
    return false;
  }
  listener.Release();  // the daemon owns it now
  return true;
}

void MetricsServer::Stop() {
  if (impl_ && impl_->daemon != nullptr) {
    MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr;
  }
}

}  // namespace ds
