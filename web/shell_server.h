#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "web/cookie_jar.h"
#include "web/shell_input.h"
#include "web/web_shell.h"

// The embedded HTTP server that plays the window on loopback:
//   GET  /              the shell page (data/shell/index.html)
//   GET  /data/...      files of the data folder (pages, images, workbooks)
//   POST /data/.input   inputs of the shell page
//   GET  /ui/events     the server-sent event stream of the window's outputs
// Every request needs the run's token (query "token" or the HttpOnly cookie), a Host
// that names this server and, when sent, an Origin of this server.
namespace ds {

struct ShellServerOptions {
  std::string bindAddress = "127.0.0.1";
  int port = 0;  // 0 picks a free port
  // The data folders served under /data/, each with a trailing "/", looked in in order: the
  // install folder's (shell, images, static pages) before the home folder's (generated
  // pages), so a writable home can never replace what the window runs.
  std::vector<std::string> dataFolders;
  std::string token;
};

class ShellServer {
 public:
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
  // Stops listening and waits for the request threads.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// A fresh random token of 32 hexadecimal digits.
std::string NewToken();

}  // namespace ds
