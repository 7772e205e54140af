#include "app/monitor_app.h"

#include <filesystem>
#include <thread>

namespace ds {

MonitorApp::MonitorApp(AppOptions options, WindowServices services)
    : options_(std::move(options)), token_(NewToken()), shell_(options_.dialogTimeout) {
  if (services.cookies == nullptr)
    services.cookies = &cookies_;  // the page inputs the server takes in
  dialog_ = std::make_unique<MainDialog>(options_.roots, &shell_, services);
  services_ = std::move(services);
  dialog_->setOnClosed([this] { queue_.Stop(); });
  ShellServerOptions serverOptions;
  serverOptions.bindAddress = options_.bindAddress;
  serverOptions.port = options_.port;
  serverOptions.dataFolders = {options_.roots.InstallData(""), options_.roots.HomeData("")};
  // The browser keeps the delivered images, style sheets and scripts only when nothing the
  // program writes can lie beside them.
  std::error_code error;
  if (!std::filesystem::equivalent(options_.roots.install, options_.roots.home, error) && !error)
    serverOptions.assetFolder = serverOptions.dataFolders.front();
  serverOptions.token = token_;
  serverOptions.extraHostNames = options_.extraHostNames;
  serverOptions.tlsCertPem = options_.tlsCertPem;
  serverOptions.tlsKeyPem = options_.tlsKeyPem;
  server_ =
      std::make_unique<ShellServer>(serverOptions, &shell_, &cookies_,
                                    [this](const ShellInput& input) { return Dispatch(input); });
}

MonitorApp::~MonitorApp() {
  server_->Stop();
  queue_.Stop();
}

bool MonitorApp::StartServer(std::string* message) {
  return server_->Start(message);
}

std::string MonitorApp::Address() const {
  std::string host = options_.bindAddress;
  if (host.empty() || host == "0.0.0.0" || host == "::")
    host = "127.0.0.1";
  if (host.find(':') != std::string::npos)
    host = "[" + host + "]";
  const char* scheme = options_.tlsCertPem.empty() ? "http://" : "https://";
  return scheme + host + ":" + std::to_string(server_->port()) + "/" + token_ + "/";
}

bool MonitorApp::Dispatch(const ShellInput& input) {
  MainDialog* dialog = dialog_.get();
  switch (input.kind) {
    case InputKind::kButton: {
      int id = input.id;
      return queue_.Post([dialog, id] { dialog->ButtonCommand(id); });
    }
    case InputKind::kMouseDown: {
      if (input.mouseButton != 0)
        return true;  // the right button is swallowed
      int x = input.x;
      int y = input.y;
      std::uint64_t at = input.at;
      return queue_.Post([dialog, x, y, at] { dialog->LeftButtonDown(x, y, at); });
    }
    case InputKind::kKey:
      if (input.key != "F2")
        return true;
      return queue_.Post([dialog] { dialog->F2Key(); });
    case InputKind::kTray: {
      bool left = input.trayLeft;
      return queue_.Post([dialog, left] { dialog->TrayClick(left); });
    }
    case InputKind::kSystemCommand: {
      int id = input.id;
      return queue_.Post([dialog, id] { dialog->SystemCommand(id); });
    }
    case InputKind::kDialogAnswer:
    case InputKind::kSplashClose:
      return true;  // answered by the shell itself
  }
  return true;
}

void MonitorApp::RequestClose() {
  shell_.CancelDialogs();
  MainDialog* dialog = dialog_.get();
  // The queue may be full of clicks: keep trying until Close is in or the loop ended.
  while (!dialog->closed() && !queue_.Post([dialog] { dialog->Close(); })) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int MonitorApp::Run(StartupContext& context) {
  context.roots = options_.roots;
  context.shell = &shell_;
  context.services = services_;
  if (!context.post)
    context.post = [this](std::function<void()> task) { queue_.Post(std::move(task)); };
  queue_.Post([&] {
    if (RunStartup(*dialog_, context) != StartupResult::kRunning) {
      // An early exit loaded no settings and took no inputs: there is nothing to flush,
      // and writing the defaults would wipe the user's settings.
      dialog_->EndWithoutWindow();
      queue_.Stop();
    }
  });
  queue_.Run();
  // Let the open pages read the window's last state before the server stops.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  server_->Stop();
  return 0;
}

}  // namespace ds
