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
  int port = 0;  // a free port the system hands out, given back for the server
  {
    ScopedFd probe(Listen("127.0.0.1", 0, &message));
    port = LocalPort(probe.get());
  }
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
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    int port;
  };
  const Case cases[] = {{"127.0.0.1:9101", true, "127.0.0.1", 9101},
                        {"[::1]:9101", true, "::1", 9101},
                        {":9101", true, "::", 9101},
                        {"0.0.0.0:80", true, "0.0.0.0", 80},
                        {"::1:9101", false, "", 0},
                        {"127.0.0.1:0", false, "", 0},
                        {"127.0.0.1:65536", false, "", 0},
                        {"127.0.0.1:91x", false, "", 0},
                        {"127.0.0.1", false, "", 0}};
  for (const Case& c : cases) {
    std::string host;
    int port = 0;
    EXPECT_EQ(SplitHostPort(c.text, &host, &port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host + " " + std::to_string(port), c.host + (" " + std::to_string(c.port)));
    }
  }
}

}  // namespace
}  // namespace ds
