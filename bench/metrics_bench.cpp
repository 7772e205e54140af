// The metrics listener: scrape latency on a fresh connection while 300 clients hold
// connections, each sending one header line a second (target: under 1 s).
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <vector>

#include "tests/slow_clients.h"
#include "web/metrics_server.h"

namespace ds {
namespace {

void BM_ScrapeUnderSlowClients(benchmark::State& state) {
  const std::string text(60000, 'm');  // about the text of eight disks
  MetricsServer server([&text] { return text; });
  std::string message;
  const int port = LocalPort(ScopedFd(Listen("127.0.0.1", 0, &message)).get());
  if (!server.Start("127.0.0.1:" + std::to_string(port), &message))
    return state.SkipWithError(message.c_str());
  SlowClients slow(port, 300);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::vector<double> millis;
  for (auto _ : state) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(10, 0);
    client.set_read_timeout(10, 0);
    const auto start = std::chrono::steady_clock::now();
    const auto scrape = client.Get("/metrics");
    millis.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
    if (!scrape || scrape->status != 200)
      return state.SkipWithError("a scrape failed");
  }
  std::sort(millis.begin(), millis.end());
  for (auto [name, fraction] : {std::pair{"p50_ms", 0.5}, {"p99_ms", 0.99}, {"max_ms", 1.0}})
    state.counters[name] = millis[static_cast<std::size_t>(fraction * (millis.size() - 1))];
}
BENCHMARK(BM_ScrapeUnderSlowClients)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace ds
