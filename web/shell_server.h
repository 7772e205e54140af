#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "platform/waiting_thread.h"

#include "web/cookie_jar.h"
#include "web/held_view.h"
#include "web/shell_input.h"
#include "web/web_shell.h"

// The embedded HTTP server that plays the window on loopback. Everything lies under the
// run's secret first path segment, the token:
//   GET  /<token>/                the shell page (data/shell/index.html)
//   GET  /<token>/data/...        files of the data folders (pages, images, workbooks)
//   POST /<token>/data/.input     inputs of the shell page
//   GET  /<token>/data/.inputs    nothing (204): a page's request that carries its inputs
//   GET  /<token>/data/.view?from=N  the frame's navigation at a click, held until the view
//                                 is built: 303 to it, or 204 (web/held_view.h)
//   GET  /<token>/ui/events       the server-sent event stream of the window's outputs
// Anything else is 404; a Host that does not name this server or a foreign Origin is 403
// (web/request_guard.h says which names pass).
// The page-input cookies of requests under /<token>/data/ go to the cookie store (only
// those with the run's prefix, see web/input_cookies.h).
//
// One thread serves every connection, event-driven: a slow or idle client holds a
// connection, never a thread. Connections are kept alive between requests (each request is
// checked on its own). A connection has `requestLimit` to send its first request (head and
// body) and `idleLimit` for each next one from the time its last answer went out; after
// that it is closed, or earlier when many connections are open. Stop closes every
// connection. The server library (and its TLS library) is loaded when the first client
// connects; until then the loop waits on the listening socket alone.
namespace ds {

struct ShellServerOptions {
  std::string bindAddress = "127.0.0.1";
  int port = 0;  // 0 picks a free port
  // The data folders served under /<token>/data/, each with a trailing "/", looked in in
  // order: the install folder's (shell, images, static pages) before the home folder's
  // (generated pages), so a writable home can never replace what the window runs.
  std::vector<std::string> dataFolders;
  // The one of them whose images, style sheets and scripts the browser may keep for the run
  // (with a validator): the install folder's, when the home's is another folder. Every
  // other answer is `no-store`.
  std::string assetFolder;
  std::string token;
  std::chrono::milliseconds requestLimit = std::chrono::seconds(10);
  // A kept-alive connection is closed once it has waited this long for its next request.
  std::chrono::milliseconds idleLimit = std::chrono::seconds(4);
  // How long a held view (held_view.h) waits for its page at most.
  std::chrono::milliseconds viewHold = std::chrono::milliseconds(kViewHoldMilliseconds);
  // Open connections at most (each is a file descriptor of the program). Past three
  // quarters of it, each new connection closes the one that has waited longest for its
  // request.
  unsigned maxConnections = 512;
  // Further names a Host header may carry (for a window reached from other machines: the
  // machine's own addresses and host name, and the --allow-host names).
  std::vector<std::string> extraHostNames;
  // PEM texts: with both, the window is served over HTTPS only.
  std::string tlsCertPem;
  std::string tlsKeyPem;
};

class ShellServer {
 public:
  // The largest request body (an input) taken; a longer one is refused while it arrives.
  static constexpr std::size_t kMaxBodyBytes = 64 * 1024;

  // `onInput` takes every input that is not a dialog answer or the splash's Close; it
  // returns false when the window cannot take more (the request then gets 503).
  ShellServer(ShellServerOptions options, WebShell* shell, CookieJar* cookies,
              std::function<bool(const ShellInput&)> onInput);
  ~ShellServer();
  ShellServer(const ShellServer&) = delete;
  ShellServer& operator=(const ShellServer&) = delete;

  // Binds and starts serving on a thread of its own.
  bool Start(std::string* message);
  int port() const { return port_; }
  // Ends the event streams after their last events, closes every connection and waits
  // for the serving thread.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  WaitingThread loop_;  // the event loop, waiting in poll
  int port_ = 0;
};

// A fresh random token of 32 hexadecimal digits.
std::string NewToken();

}  // namespace ds
