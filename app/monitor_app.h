#pragma once

#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "app/startup.h"
#include "app/ui_queue.h"
#include "web/cookie_jar.h"
#include "web/shell_server.h"
#include "web/web_shell.h"

// The application: creates the window, serves it to the browser, runs start-up and then
// the window's message loop until the window is destroyed. Inputs of the shell pages are
// posted to the UI thread; the HTTP threads never touch the window's state themselves.
namespace ds {

struct AppOptions {
  ProgramRoots roots;
  std::string bindAddress = "127.0.0.1";
  int port = 0;
  std::chrono::milliseconds dialogTimeout = std::chrono::minutes(5);
  std::vector<std::string> extraHostNames;  // see ShellServerOptions
  std::string tlsCertPem;                   // with the key: HTTPS only
  std::string tlsKeyPem;
};

class MonitorApp {
 public:
  // `services` outlive the application.
  MonitorApp(AppOptions options, WindowServices services);
  ~MonitorApp();

  // Starts the HTTP server; false with `message` when the address cannot be bound.
  bool StartServer(std::string* message);
  int port() const { return server_->port(); }
  const std::string& token() const { return token_; }
  // The address a browser opens: the token is its first path segment.
  std::string Address() const;

  // Runs start-up and the message loop on the calling thread until the window is closed
  // or start-up ends the program. Returns the process exit code.
  int Run(StartupContext& context);

  // From any thread (signals): closes the window as the Close button does.
  void RequestClose();

  MainDialog& dialog() { return *dialog_; }
  WebShell& shell() { return shell_; }
  CookieJar& cookies() { return cookies_; }

  // Routes one shell input to the window; false when the window cannot take it now.
  bool Dispatch(const ShellInput& input);

 private:
  AppOptions options_;
  std::string token_;
  WebShell shell_;
  CookieJar cookies_;
  UiQueue queue_;
  WindowServices services_;  // the window's, for start-up
  std::unique_ptr<MainDialog> dialog_;
  std::unique_ptr<ShellServer> server_;
};

}  // namespace ds
