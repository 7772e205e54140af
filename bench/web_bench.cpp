// The window's server on loopback: page request latency, and a tab click to its navigation event.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "app/main_dialog.h"
#include "app/ui_queue.h"
#include "tests/fake_window_services.h"
#include "tests/temp_folder.h"
#include "web/shell_server.h"
#include "web/web_shell.h"

namespace ds {
namespace {

using Clock = std::chrono::steady_clock;

// The server over a copy of the shipped data folder, and a keep-alive client as browsers use.
struct BenchServer {
  explicit BenchServer(std::function<bool(const ShellInput&)> onInput) {
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
    ShellServerOptions options;
    options.dataFolders = {home.path() + "data/"};
    options.token = NewToken();
    root = "/" + options.token + "/data/";
    server = std::make_unique<ShellServer>(options, &shell, &cookies, std::move(onInput));
    started = server->Start(&message);
    client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
    client->set_keep_alive(true), client->set_tcp_nodelay(true);
  }
  // Sets the p50/p99/max counters of `micros` in microseconds.
  static void Report(benchmark::State& state, std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    for (auto [name, fraction] : {std::pair{"p50_us", 0.5}, {"p99_us", 0.99}, {"max_us", 1.0}})
      state.counters[name] = micros[static_cast<std::size_t>(fraction * (micros.size() - 1))];
  }
  TempFolder home;
  WebShell shell;
  CookieJar cookies;
  std::string root, message;
  std::unique_ptr<ShellServer> server;
  bool started = false;
  std::unique_ptr<httplib::Client> client;
};

// 1,000 page requests on one keep-alive connection, as the browser makes them.
void BM_PageRequests(benchmark::State& state) {
  BenchServer bench([](const ShellInput&) { return true; });
  const std::string paths[] = {"NoDisk.html", "images/btn_137.svg", "loading.html",
                               "shell/shell.js"};
  if (!bench.started)
    return state.SkipWithError(bench.message.c_str());
  std::vector<double> micros;
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i) {
      const auto start = Clock::now();
      const auto result = bench.client->Get(bench.root + paths[i % 4]);
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (!result || result->status != 200)
        return state.SkipWithError("a page request failed");
    }
  }
  BenchServer::Report(state, micros);
}
BENCHMARK(BM_PageRequests)->Unit(benchmark::kMillisecond)->Iterations(3);

// A tab click: input request, UI thread's tab action, a fake page build, navigation event.
void BM_TabActionClickToNavigation(benchmark::State& state) {
  UiQueue queue;
  MainDialog* dialog = nullptr;
  BenchServer bench([&](const ShellInput& input) {
    return queue.Post([&dialog, id = input.id] { dialog->ButtonCommand(id); });
  });
  FakeWindow window(bench.home.path(), &bench.shell);
  window.drives.AddDrive("QRA-X50");
  dialog = window.dialog.get();
  MainDialogTestAccess::RefreshDrives(*dialog), dialog->ShowWindow();
  if (!bench.started)
    return state.SkipWithError(bench.message.c_str());
  std::thread ui([&] { queue.Run(); });
  auto page = bench.shell.stream().Connect({});
  std::vector<double> micros;
  int round = 0;
  for (auto _ : state) {
    const int tab = kTabDiskInfo + round++ % 5;
    const std::string pageId = "\"page\":" + std::to_string(PageOfTab(tab));
    const std::string built = std::to_string(PageOfTab(tab)) + ".html";
    const auto start = Clock::now();
    bench.client->Post(bench.root + ".input", "type=button&id=" + std::to_string(tab),
                       "application/x-www-form-urlencoded");
    std::string event;
    while (bench.shell.stream().Next(page, &event, std::chrono::seconds(2)) &&
           (event.find(built) == std::string::npos || event.find(pageId) == std::string::npos)) {
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  BenchServer::Report(state, micros);
  bench.server->Stop(), queue.Stop();
  ui.join();
}
BENCHMARK(BM_TabActionClickToNavigation)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
}  // namespace ds
