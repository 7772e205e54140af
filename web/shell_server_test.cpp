#include "web/shell_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "tests/temp_folder.h"
#include "web/request_guard.h"

namespace ds {
namespace {

class ShellServerTest : public testing::Test {
 protected:
  void SetUp() override {
    data = home.path() + "data/";
    std::filesystem::create_directories(data + "shell");
    std::ofstream(data + "shell/index.html") << "<html>shell</html>";
    std::ofstream(data + "SMARTPage.html") << "<html>smart</html>";
    std::ofstream(data + "setting_tool_page.dat") << "Passwd=secret";
    std::ofstream(home.path() + "outside.html") << "outside";
    ShellServerOptions options;
    options.dataFolders = {data};
    options.token = "0123456789abcdef0123456789abcdef";
    token = options.token;
    server = std::make_unique<ShellServer>(options, &shell, &cookies, [this](const ShellInput& in) {
      std::lock_guard<std::mutex> lock(mutex);
      inputs.push_back(in);
      return acceptInputs.load();
    });
    std::string message;
    ASSERT_TRUE(server->Start(&message)) << message;
    client = std::make_unique<httplib::Client>("127.0.0.1", server->port());
    client->set_read_timeout(5, 0);
  }
  void TearDown() override { server->Stop(); }

  httplib::Headers Auth(httplib::Headers extra = {}) {
    extra.emplace("Cookie", std::string(kTokenCookie) + "=" + token + "; disk_sel=1");
    return extra;
  }
  int Status(const httplib::Result& result) { return result ? result->status : -1; }

  TempFolder home;
  std::string data;
  std::string token;
  WebShell shell{std::chrono::seconds(5)};
  CookieJar cookies;
  std::unique_ptr<ShellServer> server;
  std::unique_ptr<httplib::Client> client;
  std::mutex mutex;
  std::vector<ShellInput> inputs;
  std::atomic<bool> acceptInputs{true};
};

TEST_F(ShellServerTest, EveryRouteNeedsTheToken) {
  for (const char* path : {"/", "/data/SMARTPage.html", "/ui/events", "/nothing"}) {
    EXPECT_EQ(Status(client->Get(path)), 403) << path;
    EXPECT_EQ(Status(client->Get(std::string(path) + "?token=wrong")), 403) << path;
    EXPECT_EQ(Status(client->Get(path, {{"Cookie", "ds_token=" + token + "x"}})), 403);
  }
  EXPECT_EQ(Status(client->Post("/data/.input", "type=button&id=1003",
                                "application/x-www-form-urlencoded")),
            403);
  EXPECT_TRUE(inputs.empty());
}

TEST_F(ShellServerTest, TheTokenInTheAddressSetsAnHttpOnlyCookie) {
  auto result = client->Get("/?token=" + token);
  ASSERT_EQ(Status(result), 200);
  EXPECT_EQ(result->body, "<html>shell</html>");
  std::string cookie = result->get_header_value("Set-Cookie");
  EXPECT_NE(cookie.find("ds_token=" + token), std::string::npos);
  EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
  EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
  auto page = client->Get("/data/SMARTPage.html", Auth());
  ASSERT_EQ(Status(page), 200);
  EXPECT_EQ(page->body, "<html>smart</html>");
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  // The page cookies reach the cookie store without the token.
  EXPECT_EQ(cookies.Get(), "disk_sel=1");
}

TEST_F(ShellServerTest, ForeignHostsAndOriginsAreRefused) {
  EXPECT_EQ(Status(client->Get("/", Auth({{"Host", "evil.example"}}))), 403);
  EXPECT_EQ(Status(client->Get("/", Auth({{"Origin", "http://evil.example"}}))), 403);
  EXPECT_EQ(Status(client->Post("/data/.input", Auth({{"Origin", "null"}}), "type=key&key=F2",
                                "application/x-www-form-urlencoded")),
            403);
  EXPECT_TRUE(inputs.empty());
}

TEST_F(ShellServerTest, NothingOutsideTheDataFolderIsServed) {
  for (const char* path :
       {"/data/../outside.html", "/data/%2e%2e/outside.html", "/data/setting_tool_page.dat",
        "/data/.input", "/data/missing.html", "/data/shell/../../outside.html", "/outside.html"}) {
    auto result = client->Get(path, Auth());
    EXPECT_TRUE(Status(result) == 404 || Status(result) == 400) << path << " " << Status(result);
    if (result) {
      EXPECT_EQ(result->body.find("secret"), std::string::npos);
    }
  }
}

TEST_F(ShellServerTest, InputsAreParsedAndMalformedOnesRefused) {
  auto post = [&](const std::string& body) {
    return Status(client->Post("/data/.input", Auth(), body, "application/x-www-form-urlencoded"));
  };
  EXPECT_EQ(post("type=button&id=1007"), 204);
  EXPECT_EQ(post("type=mousedown&button=0&x=694&y=143"), 204);
  EXPECT_EQ(post("type=button&id=abc"), 400);
  EXPECT_EQ(post("garbage"), 400);
  EXPECT_EQ(post("type=dialog&id=12&answer=ok"), 409);  // no such dialog
  acceptInputs = false;
  EXPECT_EQ(post("type=key&key=F2"), 503);
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(inputs[0].id, 1007);
  EXPECT_EQ(inputs[1].x, 694);
  EXPECT_EQ(inputs[2].key, "F2");
}

TEST_F(ShellServerTest, TheEventStreamStartsWithTheWindowState) {
  WindowLook look;
  look.page = kPageTool;
  shell.Publish(look);
  std::string received;
  auto result = client->Get("/ui/events", Auth(), [&](const char* data, std::size_t length) {
    received.append(data, length);
    return received.find("\n\n") == std::string::npos;
  });
  EXPECT_EQ(received.rfind("event: state\ndata: {\"page\":5", 0), 0u) << received;
}

TEST_F(ShellServerTest, DownloadsCarryTheOfferedNameOnly) {
  std::ofstream(data + "SMART.xls") << "xls";
  auto result = client->Get("/data/SMART.xls?download=SMART.xls%22%0d%0aX:%20y", Auth());
  ASSERT_EQ(Status(result), 200);
  EXPECT_EQ(result->get_header_value("Content-Disposition"),
            "attachment; filename=\"SMART.xlsXy\"");
}

}  // namespace
}  // namespace ds
