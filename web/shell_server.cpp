#include "web/shell_server.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <list>
#include <random>
#include <unordered_map>
#include <utility>

#include "web/connection_roster.h"
#include "web/held_view.h"
#include "web/input_cookies.h"
#include "web/late_library.h"
#include "web/listen_socket.h"
#include "web/request_guard.h"
#include "web/request_text.h"

namespace ds {
namespace {

using Clock = std::chrono::steady_clock;

// A page that waits for events still gets a comment this often, which also finds pages
// that went away.
constexpr auto kKeepAliveInterval = std::chrono::seconds(10);
// A connection whose answer does not move for this long is closed by the library.
constexpr unsigned kStalledSeconds = 30;
// Memory per connection for its request head and what the library makes of it. A page on
// any port of the host can set cookies for it, and the browser sends them all with every
// request: Chromium up to about 180 kB. The library keeps the head and a copy of its Cookie
// header while it parses it; this takes cookies of up to about 250 kB, of which only the
// run's own are read. (A connection's memory is mapped, its pages taken on first use.)
constexpr std::size_t kConnectionMemory = 512 * 1024;
// At shutdown the open pages get this long to read their last events.
constexpr auto kFlushLimit = std::chrono::milliseconds(250);

constexpr const char* kPlainText = "text/plain; charset=utf-8";
// What the browser may keep of the install folder's images, style sheets and scripts: its
// own copy (never a shared cache's), fresh for a day; every run has addresses of its own
// (the token), so nothing kept outlives the run that served it.
constexpr const char* kAssetCaching = "private, max-age=86400";

// Images, style sheets and scripts: of the install folder, they never change within a run.
bool IsAssetType(std::string_view type) {
  return type.rfind("image/", 0) == 0 || type.rfind("text/css", 0) == 0 ||
         type.rfind("text/javascript", 0) == 0;
}

// The value of a request header; "" when there is none.
std::string_view HeaderOf(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// A strong validator of a file's version: its inode, size and modification time.
std::string FileTag(const struct stat& status) {
  return "\"" + std::to_string(status.st_ino) + "-" + std::to_string(status.st_size) + "-" +
         std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
         "\"";
}

// True when an If-None-Match list ("*", or tags split by commas, weak ones "W/"-marked)
// names `tag`.
bool EntityTagMatches(std::string_view list, std::string_view tag) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string_view one = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    while (!one.empty() && (one.front() == ' ' || one.front() == '\t'))
      one.remove_prefix(1);
    while (!one.empty() && (one.back() == ' ' || one.back() == '\t'))
      one.remove_suffix(1);
    if (one.rfind("W/", 0) == 0)
      one.remove_prefix(2);
    if (one == "*" || one == tag)
      return true;
  }
  return false;
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
  // The request being read on a connection (the roster keeps the connection's limits).
  struct Request {
    std::string target;
    bool headRead = false;
    std::string body;
  };

  // An open event stream of a shell page. While it has nothing to send its connection is
  // suspended; the loop resumes it when events are queued or a keep-alive is due.
  struct Stream {
    Impl* server = nullptr;
    MHD_Connection* connection = nullptr;
    std::shared_ptr<EventStream::Client> client;
    std::string pending;  // the event being sent
    std::size_t sent = 0;
    Clock::time_point lastWrite;
    bool suspended = false;
  };

  // A held view request (held_view.h), suspended until the loop resumes it: at a wake-up
  // (a look was published) or at its deadline.
  struct HeldView {
    Clock::time_point deadline;
    bool suspended = false;
  };

  Impl(ShellServerOptions options, WebShell* shell, CookieJar* cookies,
       std::function<bool(const ShellInput&)> onInput)
      : options(std::move(options)),
        shell(shell),
        cookies(cookies),
        onInput(std::move(onInput)),
        secretData("/" + this->options.token + "/data/"),
        hosts(MakeHostPolicy(this->options.bindAddress, this->options.extraHostNames,
                             !this->options.tlsCertPem.empty())),
        inputs(InputCookiePrefix(this->options.token)),
        roster(this->options.requestLimit, this->options.maxConnections, this->options.idleLimit) {}

  const ShellServerOptions options;
  WebShell* const shell;
  CookieJar* const cookies;
  const std::function<bool(const ShellInput&)> onInput;
  const std::string secretData;  // "/<token>/data/": the path of the input cookies
  const HostPolicy hosts;        // the names a Host header may carry
  InputCookies inputs;

  int port = 0;
  ScopedFd listener;  // until the library takes it
  MHD_Daemon* daemon = nullptr;
  ScopedFd wake;
  std::atomic<bool> stopping{false};
  ConnectionRoster roster;
  std::unordered_map<MHD_Connection*, Request> requests;
  std::list<Stream> streams;
  std::unordered_map<MHD_Connection*, HeldView> heldViews;

  void Wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(wake.get(), &one, sizeof(one));
  }

  // ---- responses ----

  static void CommonHeaders(MHD_Response* response) {
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    if (MHD_get_response_header(response, "Cache-Control") == nullptr)
      MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Frame-Options", "SAMEORIGIN");
  }

  MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    if (response == nullptr)
      return MHD_NO;
    CommonHeaders(response);
    roster.Answering(connection);
    MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
  }

  MHD_Result Refuse(MHD_Connection* connection, unsigned status, const std::string& text) {
    MHD_Response* response = MHD_create_response_from_buffer(
        text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
    if (response != nullptr)
      MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kPlainText);
    return Queue(connection, status, response);
  }

  MHD_Result NoContent(MHD_Connection* connection) {
    return Queue(connection, MHD_HTTP_NO_CONTENT,
                 MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT));
  }

  // Sends a file (a real path, links resolved) straight from its descriptor, so a large
  // workbook is never held whole. A `cached` file (it cannot change within the run) may be
  // kept by the browser with its validator; one the browser holds already gets 304.
  MHD_Result SendFile(MHD_Connection* connection, const std::string& path, const char* type,
                      const std::vector<std::string>& extraHeaders, bool cached = false,
                      std::string_view ifNoneMatch = {}) {
    ScopedFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat status {};
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
      return Refuse(connection, MHD_HTTP_NOT_FOUND, "Not found.\n");
    const std::string tag = cached ? FileTag(status) : std::string();
    const bool unchanged = cached && EntityTagMatches(ifNoneMatch, tag);
    MHD_Response* response =
        unchanged
            ? MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT)
            : MHD_create_response_from_fd64(static_cast<std::uint64_t>(status.st_size), fd.get());
    if (response == nullptr)
      return MHD_NO;
    if (!unchanged)
      fd.Release();  // the response owns it now
    if (cached) {
      MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.c_str());
      MHD_add_response_header(response, "Cache-Control", kAssetCaching);
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    for (std::size_t i = 0; i + 1 < extraHeaders.size(); i += 2)
      MHD_add_response_header(response, extraHeaders[i].c_str(), extraHeaders[i + 1].c_str());
    return Queue(connection, unchanged ? MHD_HTTP_NOT_MODIFIED : MHD_HTTP_OK, response);
  }

  // ---- routes ----

  MHD_Result ServeShell(MHD_Connection* connection) {
    std::string path;
    if (options.dataFolders.empty() ||
        !ResolveDataFile(options.dataFolders.front(), "shell/index.html", &path)) {
      return Refuse(connection, MHD_HTTP_INTERNAL_SERVER_ERROR,
                    "The shell page is missing from the data folder.\n");
    }
    return SendFile(connection, path, "text/html; charset=utf-8", {});
  }

  MHD_Result ServeData(MHD_Connection* connection, std::string_view file, const std::string& query,
                       std::string_view ifNoneMatch, const std::vector<std::string>& stale) {
    std::string path;
    const char* type = nullptr;
    bool cached = false;
    for (const std::string& folder : options.dataFolders) {
      if (ResolveDataFile(folder, file, &path)) {
        type = ServedContentType(path);
        cached = folder == options.assetFolder && IsAssetType(type);
        break;
      }
    }
    if (type == nullptr)
      return Refuse(connection, MHD_HTTP_NOT_FOUND, "Not found.\n");
    std::vector<std::string> headers;
    const auto fields = DecodeFormFields(query);
    if (auto it = fields.find("download"); it != fields.end()) {
      headers.push_back(MHD_HTTP_HEADER_CONTENT_DISPOSITION);
      headers.push_back("attachment; filename=\"" + SafeFileName(it->second) + "\"");
    }
    // A page the browser loads replaces the one that stored the inputs, so its answer
    // expires the inputs already taken in without racing a newer value.
    if (std::string_view(type).rfind("text/html", 0) == 0) {
      for (const std::string& name : stale) {
        headers.push_back(MHD_HTTP_HEADER_SET_COOKIE);
        headers.push_back(name + "=; Max-Age=0; Path=" + secretData + "; SameSite=Strict");
      }
    }
    return SendFile(connection, path, type, headers, cached, ifNoneMatch);
  }

  // The frame's navigation of a click, answered once the click's view is there: a redirect
  // to the published page, or 204 (the frame keeps its page) when nothing new came in time.
  MHD_Result ServeHeldView(MHD_Connection* connection, const std::string& query) {
    std::uint64_t from = 0;
    if (!ParseHeldViewFrom(query, &from))
      return Refuse(connection, MHD_HTTP_BAD_REQUEST, "Bad view.\n");
    const Clock::time_point now = Clock::now();
    auto held = heldViews.find(connection);
    const bool late = stopping.load() || (held != heldViews.end() && now >= held->second.deadline);
    const PublishedFrame frame = shell->CurrentFrame();
    const HeldViewStep step = DecideHeldView(frame, from, late);
    if (step == HeldViewStep::kWait) {
      if (held == heldViews.end())
        held = heldViews.emplace(connection, HeldView{now + options.viewHold}).first;
      held->second.suspended = true;
      MHD_suspend_connection(connection);
      return MHD_YES;
    }
    heldViews.erase(connection);
    const std::string location =
        step == HeldViewStep::kShow ? HeldViewLocation(options.token, frame) : std::string();
    if (location.empty())
      return NoContent(connection);
    MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    if (response != nullptr)
      MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, location.c_str());
    return Queue(connection, MHD_HTTP_SEE_OTHER, response);
  }

  MHD_Result TakeInput(MHD_Connection* connection, const std::string& body) {
    const auto fields = DecodeFormFields(body);
    auto field = [&fields](const std::string& name) -> const std::string* {
      auto it = fields.find(name);
      return it == fields.end() ? nullptr : &it->second;
    };
    ShellInput input;
    std::string message;
    if (!ParseShellInput(field, &input, &message))
      return Refuse(connection, MHD_HTTP_BAD_REQUEST, "Bad input.\n");
    if (input.kind == InputKind::kDialogAnswer) {
      if (!shell->Answer(input))
        return Refuse(connection, MHD_HTTP_CONFLICT, "That dialog is closed.\n");
    } else if (input.kind == InputKind::kSplashClose) {
      shell->CloseSplash();
    } else if (!onInput(input)) {
      return Refuse(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "The window is busy.\n");
    }
    return NoContent(connection);
  }

  MHD_Result ServeEvents(MHD_Connection* connection) {
    auto client = shell->ConnectPage();
    if (!client)
      return Refuse(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "The window is closing.\n");
    Stream& stream = streams.emplace_back();
    stream.server = this;
    stream.connection = connection;
    stream.client = std::move(client);
    stream.lastWrite = Clock::now();
    MHD_Response* response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 4096, &Impl::ReadEventsThunk, &stream, &Impl::EndStreamThunk);
    if (response == nullptr) {
      EndStream(&stream);
      return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    return Queue(connection, MHD_HTTP_OK, response);
  }

  // The head of a request is in: true when it may go on. Every request of a kept-alive
  // connection is checked, not only its first. A refusal here is queued before the request
  // is read to its end, so the library closes the connection after it.
  bool HeadAllowed(MHD_Connection* connection, std::string_view method, MHD_Result* refusal) {
    auto header = [connection](const char* name) { return HeaderOf(connection, name); };
    if (!HostAllowed(header("Host"), port, hosts) ||
        !OriginAllowed(header("Origin"), port, hosts)) {
      *refusal = Refuse(connection, MHD_HTTP_FORBIDDEN,
                        "Forbidden: this server answers its own window only.\n");
      return false;
    }
    const std::string_view length = header(MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (method == "POST" &&
        std::strtoull(std::string(length).c_str(), nullptr, 10) > kMaxBodyBytes) {
      *refusal = Refuse(connection, MHD_HTTP_CONTENT_TOO_LARGE, "Too large.\n");
      return false;
    }
    return true;
  }

  // The whole request is in (its head was allowed): answers it. The library keeps the
  // connection open for the next request only for an answer queued at this point.
  MHD_Result Answer(MHD_Connection* connection, Request& state, std::string_view method) {
    auto header = [connection](const char* name) { return HeaderOf(connection, name); };
    std::string path;
    std::string query;
    std::string_view rest;
    if (!SplitRequestTarget(state.target, &path, &query) ||
        !UnderSecretSegment(path, options.token, &rest)) {
      return Refuse(connection, MHD_HTTP_NOT_FOUND, "Not found.\n");
    }
    const bool get = method == "GET" || method == "HEAD";
    if (rest.rfind("data/", 0) == 0) {
      InputCookies::Intake intake = inputs.TakeIn(header("Cookie"));
      if (intake.carried)
        cookies->Store(inputs.Text());
      const std::string_view file = rest.substr(5);
      if (file == ".input" && method == "POST")
        return TakeInput(connection, state.body);
      if (!get)
        return Refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Not allowed.\n");
      if (file == ".inputs")
        return NoContent(connection);
      if (file == ".view")
        return ServeHeldView(connection, query);
      return ServeData(connection, file, query, header("If-None-Match"), intake.stale);
    }
    if (!get)
      return Refuse(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Not allowed.\n");
    if (rest.empty())
      return ServeShell(connection);
    if (rest == "ui/events")
      return ServeEvents(connection);
    return Refuse(connection, MHD_HTTP_NOT_FOUND, "Not found.\n");
  }

  MHD_Result OnRequest(MHD_Connection* connection, const char* method, const char* upload,
                       std::size_t* uploadSize) {
    Request& state = requests[connection];
    if (!state.headRead) {
      state.headRead = true;
      MHD_Result refusal = MHD_NO;
      return HeadAllowed(connection, method, &refusal) ? MHD_YES : refusal;
    }
    if (*uploadSize != 0) {
      // Counted while it arrives: a body without a length cannot grow past the limit.
      if (state.body.size() + *uploadSize > kMaxBodyBytes)
        return MHD_NO;  // closes the connection
      state.body.append(upload, *uploadSize);
      *uploadSize = 0;
      return MHD_YES;
    }
    return Answer(connection, state, method);
  }

  // ---- the event streams ----

  ssize_t ReadEvents(Stream* stream, char* buffer, std::size_t max) {
    if (stream->sent == stream->pending.size()) {
      stream->pending.clear();
      stream->sent = 0;
      std::string event;
      if (!shell->stream().Next(stream->client, &event, std::chrono::milliseconds(0)))
        return MHD_CONTENT_READER_END_OF_STREAM;
      const Clock::time_point now = Clock::now();
      if (event.empty() && now - stream->lastWrite >= kKeepAliveInterval)
        event = ": keep-alive\n\n";
      if (event.empty()) {
        stream->suspended = true;
        MHD_suspend_connection(stream->connection);
        return 0;
      }
      stream->pending = std::move(event);
      stream->lastWrite = now;
    }
    const std::size_t count = std::min(max, stream->pending.size() - stream->sent);
    std::memcpy(buffer, stream->pending.data() + stream->sent, count);
    stream->sent += count;
    return static_cast<ssize_t>(count);
  }

  void EndStream(Stream* stream) {
    shell->stream().Disconnect(stream->client);
    streams.remove_if([stream](const Stream& s) { return &s == stream; });
  }

  // Resumes the suspended streams that may have something to send: all of them after a
  // wake-up, otherwise those whose keep-alive is due. True when one was resumed.
  bool ResumeStreams(bool all, Clock::time_point now) {
    bool resumed = false;
    for (Stream& stream : streams) {
      if (stream.suspended && (all || now - stream.lastWrite >= kKeepAliveInterval)) {
        stream.suspended = false;
        MHD_resume_connection(stream.connection);
        resumed = true;
      }
    }
    return resumed;
  }

  // Resumes the held views that may be answered now: all of them after a wake-up (a look
  // was published), otherwise those whose deadline has come. True when one was resumed.
  bool ResumeHeldViews(bool all, Clock::time_point now) {
    bool resumed = false;
    for (auto& [connection, held] : heldViews) {
      if (held.suspended && (all || now >= held.deadline)) {
        held.suspended = false;
        MHD_resume_connection(connection);
        resumed = true;
      }
    }
    return resumed;
  }

  // Milliseconds until the loop has something to do by itself; -1 for none.
  // `next` is the earliest request deadline of the open connections.
  int NextTimeout(Clock::time_point now, Clock::time_point next) {
    MHD_UNSIGNED_LONG_LONG libraryMs = 0;
    if (MHD_get_timeout(daemon, &libraryMs) == MHD_YES) {
      next = std::min(next, now + std::chrono::milliseconds(std::min<MHD_UNSIGNED_LONG_LONG>(
                                      libraryMs, 24ull * 3600 * 1000)));
    }
    for (const Stream& stream : streams) {
      if (stream.suspended)
        next = std::min(next, stream.lastWrite + kKeepAliveInterval);
    }
    for (const auto& [connection, held] : heldViews) {
      if (held.suspended)
        next = std::min(next, held.deadline);
    }
    return PollTimeout(next, now);
  }

  // Starts the server library on the listening socket; false when it cannot be loaded or
  // started (the socket is closed then, so clients are refused at once).
  bool StartDaemon() {
    // With a certificate the window is served over TLS only (the library holds the texts).
    const bool tls = !options.tlsCertPem.empty() && !options.tlsKeyPem.empty();
    MHD_OptionItem tlsItems[] = {
        {tls ? MHD_OPTION_HTTPS_MEM_KEY : MHD_OPTION_END, 0,
         const_cast<char*>(options.tlsKeyPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(options.tlsCertPem.c_str())},
        {MHD_OPTION_END, 0, nullptr},
    };
    daemon = MHD_start_daemon(
        MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | (tls ? MHD_USE_TLS : 0), 0, nullptr, nullptr,
        &Impl::OnRequestThunk, this, MHD_OPTION_ARRAY, tlsItems, MHD_OPTION_LISTEN_SOCKET,
        static_cast<MHD_socket>(listener.get()), MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(options.maxConnections), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kConnectionMemory, MHD_OPTION_CONNECTION_TIMEOUT, kStalledSeconds,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::OnCompletedThunk, this, MHD_OPTION_NOTIFY_CONNECTION,
        &Impl::OnConnectionThunk, this, MHD_OPTION_URI_LOG_CALLBACK, &Impl::OnTargetThunk, this,
        MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_END);
    if (daemon == nullptr) {
      const std::string& why = LateLibrary::HttpServer().error();
      std::fprintf(stderr, "drivesentinel: cannot start the web server on port %d%s%s\n", port,
                   why.empty() ? "" : ": ", why.c_str());
      listener.Reset(-1);
      return false;
    }
    listener.Release();  // the library owns it now
    return true;
  }

  // Until a client connects, the server library is not loaded: an idle program that nobody
  // opens maps neither it nor its TLS library. False when the server stopped first or the
  // library could not start.
  bool WaitForFirstConnection() {
    pollfd fds[2] = {{listener.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
    while (!stopping.load()) {
      fds[0].revents = fds[1].revents = 0;
      if (::poll(fds, 2, -1) <= 0)
        continue;
      if ((fds[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t read = ::read(wake.get(), &count, sizeof(count));
      }
      if ((fds[0].revents & POLLIN) != 0)
        return StartDaemon();
    }
    return false;
  }

  void Run() {
    if (!WaitForFirstConnection())
      return;
    const union MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD);
    pollfd fds[2] = {{info == nullptr ? -1 : info->epoll_fd, POLLIN, 0}, {wake.get(), POLLIN, 0}};
    bool woken = false;
    Clock::time_point flushUntil = Clock::time_point::max();
    while (true) {
      MHD_run(daemon);
      // A connection closed below the limit lets the library listen again, but it only
      // puts the listening socket back at the start of its next run: run it at once, or a
      // waiting window stays in the queue until some other socket stirs.
      if (roster.TakeClosed() && !stopping.load())
        continue;
      const Clock::time_point now = Clock::now();
      const bool stop = stopping.load();
      if (stop && flushUntil == Clock::time_point::max())
        flushUntil = now + kFlushLimit;
      if (stop && (streams.empty() || now >= flushUntil))
        break;
      const Clock::time_point deadline = roster.CloseLate(now);
      const bool streamsResumed = ResumeStreams(woken || stop, now);
      if (ResumeHeldViews(woken || stop, now) || streamsResumed) {
        woken = false;
        continue;  // the library takes the resumed connections on its next run
      }
      woken = false;
      int timeout = NextTimeout(now, deadline);
      if (stop)
        timeout = timeout < 0 ? 10 : std::min(timeout, 10);
      fds[0].revents = fds[1].revents = 0;
      if (::poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t read = ::read(wake.get(), &count, sizeof(count));
        woken = true;
      }
    }
    // A suspended connection must be resumed before the library may stop; stopping
    // closes every connection.
    const bool heldResumed = ResumeHeldViews(true, Clock::now());
    if (ResumeStreams(true, Clock::now()) || heldResumed)
      MHD_run(daemon);
    int listener = static_cast<int>(MHD_quiesce_daemon(daemon));
    if (listener >= 0)
      ::close(listener);
    MHD_stop_daemon(daemon);
    daemon = nullptr;
  }

  // ---- library callbacks ----

  static MHD_Result OnRequestThunk(void* self, MHD_Connection* connection, const char*,
                                   const char* method, const char*, const char* upload,
                                   std::size_t* uploadSize, void**) {
    return static_cast<Impl*>(self)->OnRequest(connection, method, upload, uploadSize);
  }

  static void* OnTargetThunk(void* self, const char* target, MHD_Connection* connection) {
    Request& state = static_cast<Impl*>(self)->requests[connection];
    state.target = target;
    state.headRead = false;
    state.body.clear();
    return nullptr;
  }

  // The connection's limits are the roster's; its request is dropped with the answer.
  static void OnCompletedThunk(void* self, MHD_Connection* connection, void** state,
                               MHD_RequestTerminationCode code) {
    Impl& impl = *static_cast<Impl*>(self);
    ConnectionRoster::OnCompleted(&impl.roster, connection, state, code);
    impl.requests.erase(connection);
    impl.heldViews.erase(connection);
  }

  static void OnConnectionThunk(void* self, MHD_Connection* connection, void** state,
                                MHD_ConnectionNotificationCode code) {
    Impl& impl = *static_cast<Impl*>(self);
    ConnectionRoster::OnConnection(&impl.roster, connection, state, code);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
      impl.requests.erase(connection);
      impl.heldViews.erase(connection);
    }
  }

  static ssize_t ReadEventsThunk(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    auto* stream = static_cast<Stream*>(cls);
    return stream->server->ReadEvents(stream, buffer, max);
  }

  static void EndStreamThunk(void* cls) {
    auto* stream = static_cast<Stream*>(cls);
    stream->server->EndStream(stream);
  }
};

ShellServer::ShellServer(ShellServerOptions options, WebShell* shell, CookieJar* cookies,
                         std::function<bool(const ShellInput&)> onInput)
    : impl_(std::make_unique<Impl>(std::move(options), shell, cookies, std::move(onInput))) {}

ShellServer::~ShellServer() {
  Stop();
}

bool ShellServer::Start(std::string* message) {
  Impl& impl = *impl_;
  std::string ignored;
  if (message == nullptr)
    message = &ignored;
  ScopedFd listener(Listen(impl.options.bindAddress, impl.options.port, message));
  if (listener.get() < 0)
    return false;
  impl.port = LocalPort(listener.get());
  impl.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (impl.port <= 0 || impl.wake.get() < 0) {
    *message = std::string("cannot set up the web server: ") + std::strerror(errno);
    return false;
  }
  impl.listener.Reset(listener.Release());  // the server library takes it at the first connection
  port_ = impl.port;
  impl.shell->stream().SetWakeup([&impl] { impl.Wake(); });
  loop_ = WaitingThread([&impl] { impl.Run(); });
  return true;
}

void ShellServer::Stop() {
  if (!loop_.joinable())
    return;
  impl_->shell->Shutdown();
  impl_->stopping = true;
  impl_->Wake();
  loop_.join();
  impl_->shell->stream().SetWakeup(nullptr);
}

}  // namespace ds
