#include "web/metrics_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include "web/listen_socket.h"

namespace ds {
namespace {

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
