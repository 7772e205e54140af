#include "web/shell_server.h"

#include <httplib.h>

#include <cstdio>
#include <random>

#include "platform/file_system.h"
#include "web/request_guard.h"

namespace ds {
namespace {

constexpr std::size_t kMaxServedBytes = 64u << 20;
constexpr int kRequestThreads = 16;
constexpr auto kKeepAliveInterval = std::chrono::seconds(10);

void Refuse(httplib::Response& res, int status, const char* text) {
  res.status = status;
  res.set_content(text, "text/plain; charset=utf-8");
}

// A download name keeps letters, digits, ".", "-" and "_" only.
std::string SafeFileName(const std::string& name) {
  std::string safe;
  for (char c : name) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                c == '.' || c == '-' || c == '_';
    if (keep)
      safe += c;
  }
  if (safe.empty() || safe.front() == '.')
    safe = "download" + safe;
  return safe.substr(0, 100);
}

}  // namespace

std::string NewToken() {
  std::random_device random;
  std::string token;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    std::uint32_t word = random();
    for (int k = 0; k < 8; ++k)
      token += kHex[(word >> (k * 4)) & 0xF];
  }
  return token;
}

struct ShellServer::Impl {
  ShellServerOptions options;
  WebShell* shell;
  CookieJar* cookies;
  std::function<bool(const ShellInput&)> onInput;
  httplib::Server server;
  std::thread listener;
  int port = 0;

  bool Authorised(const httplib::Request& req) const {
    if (TokenMatches(options.token, req.get_param_value("token")))
      return true;
    return TokenMatches(options.token, CookieValue(req.get_header_value("Cookie"), kTokenCookie));
  }

  httplib::Server::HandlerResponse Guard(const httplib::Request& req, httplib::Response& res) {
    using Result = httplib::Server::HandlerResponse;
    if (!HostAllowed(req.get_header_value("Host"), port, options.bindAddress) ||
        !OriginAllowed(req.get_header_value("Origin"), port, options.bindAddress)) {
      Refuse(res, 403, "Forbidden: this server answers its own window only.\n");
      return Result::Handled;
    }
    if (!Authorised(req)) {
      Refuse(res, 403, "Forbidden: open the address with the token the program printed.\n");
      return Result::Handled;
    }
    if (req.path.rfind("/data/", 0) == 0 && req.has_header("Cookie")) {
      cookies->Store(WithoutCookie(req.get_header_value("Cookie"), kTokenCookie));
    }
    return Result::Unhandled;
  }

  void ServeShell(const httplib::Request& req, httplib::Response& res) {
    std::string page;
    std::string error;
    if (options.dataFolders.empty() ||
        !ReadWholeFile(options.dataFolders.front() + "shell/index.html", kMaxServedBytes, &page,
                       &error)) {
      Refuse(res, 500, "The shell page is missing from the data folder.\n");
      return;
    }
    if (TokenMatches(options.token, req.get_param_value("token"))) {
      res.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + options.token +
                                       "; HttpOnly; SameSite=Strict; Path=/");
    }
    res.set_content(page, "text/html; charset=utf-8");
  }

  void ServeData(const httplib::Request& req, httplib::Response& res) {
    std::string path;
    std::string content;
    const char* type = nullptr;
    for (const std::string& folder : options.dataFolders) {
      if (ResolveDataFile(folder, req.matches[1].str(), &path)) {
        type = ServedContentType(path);
        break;
      }
    }
    std::string ignored;
    if (type == nullptr || !ReadWholeFile(path, kMaxServedBytes, &content, &ignored)) {
      Refuse(res, 404, "Not found.\n");
      return;
    }
    if (req.has_param("download")) {
      res.set_header(
          "Content-Disposition",
          "attachment; filename=\"" + SafeFileName(req.get_param_value("download")) + "\"");
    }
    res.set_content(std::move(content), type);
  }

  void TakeInput(const httplib::Request& req, httplib::Response& res) {
    auto field = [&req](const std::string& name) -> const std::string* {
      auto it = req.params.find(name);
      return it == req.params.end() ? nullptr : &it->second;
    };
    ShellInput input;
    std::string message;
    if (!ParseShellInput(field, &input, &message)) {
      Refuse(res, 400, "Bad input.\n");
      return;
    }
    if (input.kind == InputKind::kDialogAnswer) {
      if (!shell->Answer(input)) {
        Refuse(res, 409, "That dialog is closed.\n");
        return;
      }
    } else if (input.kind == InputKind::kSplashClose) {
      shell->CloseSplash();
    } else if (!onInput(input)) {
      Refuse(res, 503, "The window is busy.\n");
      return;
    }
    res.status = 204;
  }

  void ServeEvents(httplib::Response& res) {
    auto client = shell->stream().Connect(shell->CurrentEvents());
    if (!client) {
      Refuse(res, 503, "Too many windows are open.\n");
      return;
    }
    EventStream* stream = &shell->stream();
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [stream, client](std::size_t, httplib::DataSink& sink) {
          std::string event;
          if (!stream->Next(client, &event, kKeepAliveInterval)) {
            sink.done();
            return true;
          }
          if (event.empty())
            event = ": keep-alive\n\n";  // also finds dropped pages
          return sink.write(event.data(), event.size());
        },
        [stream, client](bool) { stream->Disconnect(client); });
  }
};

ShellServer::ShellServer(ShellServerOptions options, WebShell* shell, CookieJar* cookies,
                         std::function<bool(const ShellInput&)> onInput)
    : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->shell = shell;
  impl_->cookies = cookies;
  impl_->onInput = std::move(onInput);
}

ShellServer::~ShellServer() {
  Stop();
}

bool ShellServer::Start(std::string* message) {
  Impl& impl = *impl_;
  httplib::Server& server = impl.server;
  // The library owns the pool it is handed.
  server.new_task_queue = [] { return new httplib::ThreadPool(kRequestThreads); };
  server.set_payload_max_length(64 * 1024);
  // Events are small writes that must leave at once, not wait for the next packet.
  server.set_tcp_nodelay(true);
  server.set_read_timeout(std::chrono::seconds(5));
  server.set_keep_alive_max_count(1000);
  server.set_default_headers({{"X-Content-Type-Options", "nosniff"},
                              {"Referrer-Policy", "no-referrer"},
                              {"Cache-Control", "no-store"},
                              {"X-Frame-Options", "SAMEORIGIN"}});
  server.set_pre_routing_handler([&impl](const httplib::Request& req, httplib::Response& res) {
    return impl.Guard(req, res);
  });
  server.Get("/", [&impl](const httplib::Request& req, httplib::Response& res) {
    impl.ServeShell(req, res);
  });
  server.Get("/ui/events",
             [&impl](const httplib::Request&, httplib::Response& res) { impl.ServeEvents(res); });
  server.Post("/data/.input", [&impl](const httplib::Request& req, httplib::Response& res) {
    impl.TakeInput(req, res);
  });
  server.Get(R"(/data/(.+))", [&impl](const httplib::Request& req, httplib::Response& res) {
    impl.ServeData(req, res);
  });

  const std::string& host = impl.options.bindAddress;
  if (impl.options.port == 0) {
    impl.port = server.bind_to_any_port(host);
  } else if (server.bind_to_port(host, impl.options.port)) {
    impl.port = impl.options.port;
  } else {
    impl.port = -1;
  }
  if (impl.port <= 0) {
    if (message)
      *message = "cannot listen on " + host + " port " + std::to_string(impl.options.port);
    return false;
  }
  port_ = impl.port;
  impl.listener = std::thread([&server] { server.listen_after_bind(); });
  return true;
}

void ShellServer::Stop() {
  if (!impl_ || !impl_->listener.joinable())
    return;
  impl_->shell->Shutdown();
  impl_->server.stop();
  impl_->listener.join();
}

}  // namespace ds
