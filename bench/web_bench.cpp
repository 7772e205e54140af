// A tab action on the window's server on loopback, from the click (the input request) to
// the navigation event on the window's event stream.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/main_dialog.h"
#include "app/ui_queue.h"
#include "tests/fake_window_services.h"
#include "tests/temp_folder.h"
#include "web/request_guard.h"
#include "web/shell_server.h"
#include "web/web_shell.h"

namespace ds {
namespace {

// The program folder of the benchmark: the shipped data folder.
struct BenchHome {
  BenchHome() {
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
  }
  TempFolder home;
};

// A tab click: the input request, the UI thread's tab action, the page worker's build (a
// fake page) and the navigation event reaching a connected window.
void BM_TabActionClickToNavigation(benchmark::State& state) {
  BenchHome bench;
  WebShell shell;
  CookieJar cookies;
  FakeWindow window(bench.home.path(), &shell);
  window.drives.AddDrive("QRA-X50");
  MainDialog& dialog = *window.dialog;
  dialog.RefreshDrives();
  dialog.ShowWindow();
  UiQueue queue;
  ShellServerOptions options;
  options.dataFolders = {bench.home.path() + "data/"};
  options.token = NewToken();
  ShellServer server(options, &shell, &cookies, [&](const ShellInput& input) {
    int id = input.id;
    return queue.Post([&dialog, id] { dialog.ButtonCommand(id); });
  });
  std::string message;
  if (!server.Start(&message)) {
    state.SkipWithError(message.c_str());
    return;
  }
  std::thread ui([&] { queue.Run(); });
  auto page = shell.stream().Connect({});
  httplib::Client client("127.0.0.1", server.port());
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);  // as browsers do
  httplib::Headers headers = {{"Cookie", std::string(kTokenCookie) + "=" + options.token}};
  int tabs[] = {kTabDiskInfo, kTabHealth, kTabSmart, kTabTool, kTabSystem};
  int round = 0;
  for (auto _ : state) {
    int tab = tabs[round++ % 5];
    std::string expected = "\"page\":" + std::to_string(PageOfTab(tab));
    client.Post("/data/.input", headers, "type=button&id=" + std::to_string(tab),
                "application/x-www-form-urlencoded");
    const std::string built = std::to_string(PageOfTab(tab)) + ".html";
    std::string event;
    bool navigated = false;
    while (!navigated && shell.stream().Next(page, &event, std::chrono::seconds(2))) {
      navigated =
          event.find(built) != std::string::npos && event.find(expected) != std::string::npos;
    }
    if (!navigated)
      state.SkipWithError("no navigation to the tab's page");
  }
  client.stop();
  server.Stop();
  queue.Stop();
  ui.join();
}
BENCHMARK(BM_TabActionClickToNavigation)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ds
