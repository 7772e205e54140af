#include "web/metrics_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "tests/slow_clients.h"
#include "web/listen_socket.h"

namespace ds {
namespace {

std::string FreePort() {
  std::string message;
  return std::to_string(LocalPort(ScopedFd(Listen("127.0.0.1", 0, &message)).get()));
}

TEST(MetricsServerTest, ServesTheTextAtMetricsAndNothingElse) {
  int scrapes = 0;
  MetricsServer server([&scrapes] { return "up " + std::to_string(++scrapes) + "\n"; });
  std::string message;
  ASSERT_FALSE(server.Start("127.0.0.1:0", &message));  // a port must be given
  ASSERT_FALSE(server.Start("9101", &message));         // and an address
  const int port = LocalPort(ScopedFd(Listen("127.0.0.1", 0, &message)).get());  // just freed
  ASSERT_TRUE(server.Start("127.0.0.1:" + std::to_string(port), &message)) << message;
  httplib::Client client("127.0.0.1", port);
  EXPECT_EQ(client.Get("/metrics")->body, "up 1\n");  // the text itself: the scrape test
  EXPECT_EQ(client.Get("/")->status, 404);
  EXPECT_EQ(client.Get("/metrics/../data/setting_tool_page.dat")->status, 404);
  EXPECT_EQ(client.Post("/metrics", "x", "text/plain")->status, 405);
  EXPECT_EQ(scrapes, 1);
  server.Stop();
  EXPECT_FALSE(client.Get("/metrics"));
}

// 300 clients that each send a header line a second hold connections, as a probe did: a
// scrape still gets its whole answer within Prometheus' default scrape time-out (10 s: 5 s
// to connect, 5 to read), and once they leave the listener serves as before.
TEST(MetricsServerTest, SlowClientsKeepNoScrapeOut) {
  const std::string text(100000, 'm');
  MetricsServer server([&text] { return text; });
  std::string message;
  const std::string port = FreePort();
  ASSERT_TRUE(server.Start("127.0.0.1:" + port, &message)) << message;
  auto slow = std::make_unique<SlowClients>(std::stoi(port), 300);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (const char* when : {"while slow clients hold on", "after they left"}) {
    httplib::Client client("127.0.0.1", std::stoi(port));
    client.set_connection_timeout(5, 0);
    client.set_read_timeout(5, 0);
    const auto scrape = client.Get("/metrics");
    ASSERT_TRUE(scrape) << when;
    EXPECT_EQ(scrape->status, 200) << when;
    EXPECT_EQ(scrape->body, text) << when;
    slow.reset();
  }
}

// The Host must name this machine: its loopback names, its listen address and the names
// given (their case aside); anything else gets 421 and a log line naming the Host.
TEST(MetricsServerTest, AnswersOnlyToThisMachinesNames) {
  MetricsServerOptions options;
  options.hostNames = {"scraper.example", "192.0.2.7"};
  std::vector<std::string> logged;
  options.log = [&logged](const std::string& line) { logged.push_back(line); };
  MetricsServer server([] { return "up 1\n"; }, options);
  std::string message;
  const std::string port = FreePort();
  ASSERT_TRUE(server.Start("127.0.0.1:" + port, &message)) << message;
  const std::pair<std::string, int> cases[] = {
      {"127.0.0.1:" + port, 200}, {"localhost:" + port, 200},    {"Scraper.Example:" + port, 200},
      {"192.0.2.7:" + port, 200}, {"evil.example:" + port, 421}, {"scraper.example:1" + port, 421},
      {"scraper.example", 421},   {"192.0.2.70:" + port, 421},
  };
  httplib::Client client("127.0.0.1", std::stoi(port));
  for (const auto& [host, status] : cases) {
    const auto answer = client.Get("/metrics", {{"Host", host}});
    ASSERT_TRUE(answer) << host;
    EXPECT_EQ(answer->status, status) << host;
  }
  EXPECT_EQ(logged, (std::vector<std::string>{
                        "metrics: refused a request for Host \"evil.example:" + port + "\"",
                        "metrics: refused a request for Host \"scraper.example:1" + port + "\"",
                        "metrics: refused a request for Host \"scraper.example\"",
                        "metrics: refused a request for Host \"192.0.2.70:" + port + "\""}));
}

TEST(MetricsServerTest, ListenAddresses) {
  const auto split = [](const char* text) {
    std::string host;
    int port = 0;
    return SplitHostPort(text, &host, &port) ? host + " " + std::to_string(port) : "refused";
  };
  const std::pair<const char*, std::string> accepted[] = {
      {"127.0.0.1:9101", "127.0.0.1 9101"}, {"[::1]:9101", "::1 9101"}, {":9101", ":: 9101"}};
  for (const auto& [text, expected] : accepted)
    EXPECT_EQ(split(text), expected) << text;
  for (const char* refused :
       {"::1:9101", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:91x", "127.0.0.1"})
    EXPECT_EQ(split(refused), "refused") << refused;
}

}  // namespace
}  // namespace ds
