// The window's server on loopback: page requests, and a tab action from the click (the
// input request) to the navigation event on the window's event stream.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
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

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  std::size_t index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
  return values[index];
}

// The program folder of the benchmarks: the shipped data folder with a generated page.
struct BenchHome {
  BenchHome() {
    std::filesystem::copy(std::string(DS_SOURCE_DIR) + "/data", home.path() + "data",
                          std::filesystem::copy_options::recursive);
    std::ofstream page(home.path() + "data/SMARTPage.html");
    page << "<html><body>";
    for (int row = 0; row < 40; ++row)
      page << "<tr><td>attribute " << row << "</td></tr>";
    page << "</body></html>";
  }
  TempFolder home;
};

// 1,000 page requests on one keep-alive connection, as the browser makes them.
void BM_PageRequests(benchmark::State& state) {
  BenchHome bench;
  WebShell shell;
  CookieJar cookies;
  ShellServerOptions options;
  options.dataFolders = {bench.home.path() + "data/"};
  options.token = NewToken();
  ShellServer server(options, &shell, &cookies, [](const ShellInput&) { return true; });
  std::string message;
  if (!server.Start(&message)) {
    state.SkipWithError(message.c_str());
    return;
  }
  httplib::Client client("127.0.0.1", server.port());
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);  // as browsers do
  const std::string root = "/" + options.token + "/";
  const std::string paths[] = {root + "data/SMARTPage.html", root + "data/images/btn_137.svg",
                               root + "data/loading.html", root + "data/shell/shell.js"};
  std::vector<double> micros;
  for (auto _ : state) {
    micros.clear();
    for (int i = 0; i < 1000; ++i) {
      auto start = Clock::now();
      auto result = client.Get(paths[i % 4]);
      micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (!result || result->status != 200) {
        state.SkipWithError("a page request failed");
        return;
      }
    }
  }
  state.counters["p50_us"] = Percentile(micros, 0.50);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  state.counters["max_us"] = Percentile(micros, 1.0);
  server.Stop();
}
BENCHMARK(BM_PageRequests)->Unit(benchmark::kMillisecond)->Iterations(3);

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
  const std::string input = "/" + options.token + "/data/.input";
  std::vector<double> micros;
  int tabs[] = {kTabDiskInfo, kTabHealth, kTabSmart, kTabTool, kTabSystem};
  int round = 0;
  for (auto _ : state) {
    int tab = tabs[round++ % 5];
    std::string expected = "\"page\":" + std::to_string(PageOfTab(tab));
    auto start = Clock::now();
    client.Post(input, "type=button&id=" + std::to_string(tab),
                "application/x-www-form-urlencoded");
    std::string event;
    const std::string built = std::to_string(PageOfTab(tab)) + ".html";
    while (shell.stream().Next(page, &event, std::chrono::seconds(2))) {
      if (event.find(built) != std::string::npos && event.find(expected) != std::string::npos) {
        break;
      }
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  state.counters["p50_us"] = Percentile(micros, 0.50);
  state.counters["p99_us"] = Percentile(micros, 0.99);
  server.Stop();
  queue.Stop();
  ui.join();
}
BENCHMARK(BM_TabActionClickToNavigation)->Unit(benchmark::kMicrosecond)->Iterations(200);

}  // namespace
}  // namespace ds
