#include "web/shell_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <tuple>
#include <vector>

#include "tests/temp_folder.h"
#include "web/input_cookies.h"

namespace ds {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A raw client socket on loopback, for clients that misbehave on purpose.
class RawClient {
 public:
  explicit RawClient(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  }
  ~RawClient() { ::close(fd_); }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Send(std::string_view text) {
    return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  }
  // True when the server closed the connection within `limit`; what it sent until then
  // goes to `received`.
  bool ClosedWithin(milliseconds limit, std::string* received = nullptr) {
    const auto until = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < until) {
      pollfd entry{fd_, POLLIN, 0};
      if (::poll(&entry, 1, 50) <= 0)
        continue;
      const ssize_t count = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (count <= 0)
        return true;
      if (received != nullptr)
        received->append(buffer, static_cast<std::size_t>(count));
    }
    return false;
  }

 private:
  int fd_;
};

class ShellServerTest : public testing::Test {
 protected:
  void SetUp() override {
    data = home.path() + "data/";
    std::filesystem::create_directories(data + "shell");
    std::filesystem::create_directories(data + "images");
    std::ofstream(data + "shell/index.html") << "<html>shell</html>";
    std::ofstream(data + "SMARTPage.html") << "<html>smart</html>";
    std::ofstream(data + "images/a.svg") << "<svg/>";
    std::ofstream(data + "setting_tool_page.dat") << "Passwd=secret";
    std::ofstream(home.path() + "outside.html") << "outside";
    options.dataFolders = {data};
    options.token = "0123456789abcdef0123456789abcdef";
    token = options.token;
    root = "/" + token + "/";
    prefix = InputCookiePrefix(token);
  }
  void StartServer() {
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
  void TearDown() override {
    if (server)
      server->Stop();
  }

  std::string HostPort() { return "127.0.0.1:" + std::to_string(server->port()); }
  int Status(const httplib::Result& result) { return result ? result->status : -1; }
  int Post(const std::string& body, httplib::Headers headers = {}) {
    return Status(
        client->Post(root + "data/.input", headers, body, "application/x-www-form-urlencoded"));
  }
  std::size_t InputCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return inputs.size();
  }

  TempFolder home;
  std::string data;
  std::string token;
  std::string root;
  std::string prefix;
  ShellServerOptions options;
  WebShell shell{std::chrono::seconds(5)};
  CookieJar cookies;
  std::unique_ptr<ShellServer> server;
  std::unique_ptr<httplib::Client> client;
  std::mutex mutex;
  std::vector<ShellInput> inputs;
  std::atomic<bool> acceptInputs{true};
};

TEST_F(ShellServerTest, EveryRouteNeedsTheToken) {
  StartServer();
  const std::string upper = "/0123456789ABCDEF0123456789ABCDEF/";
  for (const std::string& path :
       {std::string("/"), std::string("/data/SMARTPage.html"), std::string("/ui/events"),
        std::string("/nothing"), "/?token=" + token, "/" + token, "/" + token + "x/",
        "/x" + token + "/", upper, upper + "data/SMARTPage.html", "/data/" + token + "/",
        "//" + token + "/"}) {
    auto result = client->Get(path, {{"Cookie", "ds_token=" + token}});
    EXPECT_EQ(Status(result), 404) << path;
    if (result) {
      EXPECT_EQ(result->body.find("shell"), std::string::npos) << path;
      EXPECT_EQ(result->get_header_value("Set-Cookie"), "") << path;
    }
  }
  EXPECT_EQ(Status(client->Post("/data/.input", "type=button&id=1003",
                                "application/x-www-form-urlencoded")),
            404);
  EXPECT_EQ(InputCount(), 0u);
}

TEST_F(ShellServerTest, TheShellAndThePagesLieUnderTheSecretSegment) {
  StartServer();
  auto result = client->Get(root);
  ASSERT_EQ(Status(result), 200);
  EXPECT_EQ(result->body, "<html>shell</html>");
  EXPECT_EQ(result->get_header_value("Set-Cookie"), "");  // no cookie carries the token
  EXPECT_EQ(result->get_header_value("Referrer-Policy"), "no-referrer");
  auto page = client->Get(root + "data/SMARTPage.html",
                          {{"Cookie", prefix + "disk_sel=1; disk_sel=3; ds_token=" + token}});
  ASSERT_EQ(Status(page), 200);
  EXPECT_EQ(page->body, "<html>smart</html>");
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(page->get_header_value("Referrer-Policy"), "no-referrer");
  // Only the run's page cookies reach the cookie store, without their prefix.
  EXPECT_EQ(cookies.Get(), "disk_sel=1");
}

TEST_F(ShellServerTest, ForeignHostsAndOriginsAreRefused) {
  StartServer();
  EXPECT_EQ(Status(client->Get(root, {{"Host", "evil.example"}})), 403);
  EXPECT_EQ(Status(client->Get(root, {{"Origin", "http://evil.example"}})), 403);
  EXPECT_EQ(Post("type=key&key=F2", {{"Origin", "null"}}), 403);
  EXPECT_EQ(Post("type=key&key=F2",
                 {{"Origin", "http://127.0.0.1:" + std::to_string(server->port() + 1)}}),
            403);
  EXPECT_EQ(InputCount(), 0u);
}

// A kept-alive connection has each of its requests checked: a foreign Host or Origin is
// refused (and closes it) after an answered request, a wrong path gets 404 and it stays open.
TEST_F(ShellServerTest, EveryRequestOfAKeptAliveConnectionIsChecked) {
  StartServer();
  const std::string get = "GET " + root + "data/images/a.svg HTTP/1.1\r\nHost: ";
  const std::string host = HostPort() + "\r\n";
  const std::tuple<std::string, std::string, bool> rows[] = {
      {get + "evil.example\r\n\r\n", "403", true},
      {get + host + "Origin: http://evil.example\r\n\r\n", "403", true},
      {"GET /data/images/a.svg HTTP/1.1\r\nHost: " + host + "\r\n", "404", false},
      {get + host + "\r\n", "200", false}};
  for (const auto& [request, status, closes] : rows) {
    RawClient raw(server->port());
    std::string first, second;
    ASSERT_TRUE(raw.Send(get + host + "\r\n"));
    EXPECT_FALSE(raw.ClosedWithin(milliseconds(300), &first));
    ASSERT_TRUE(raw.Send(request));
    EXPECT_EQ(raw.ClosedWithin(milliseconds(300), &second), closes) << request;
    EXPECT_EQ(first.rfind("HTTP/1.1 200 OK", 0) + second.rfind("HTTP/1.1 " + status, 0), 0u)
        << request << first << second;
  }
}

// Only the install folder's images, style sheets and scripts may be kept by the browser,
// with a validator that gets 304; everything of the home stays no-store.
TEST_F(ShellServerTest, OnlyTheInstallFoldersAssetsMayBeKept) {
  const std::string install = home.path() + "install/";
  std::filesystem::create_directories(install + "images");
  std::ofstream(install + "images/b.svg") << "<svg/>";
  options.dataFolders = {install, data};
  options.assetFolder = install;
  StartServer();
  for (const auto& [file, kept] : {std::pair<std::string, bool>{"images/b.svg", true},
                                   {"images/a.svg", false},
                                   {"SMARTPage.html", false}}) {
    auto first = client->Get(root + "data/" + file);
    ASSERT_EQ(Status(first), 200) << file;
    const std::string tag = first->get_header_value("ETag");
    EXPECT_EQ(first->get_header_value("Cache-Control"),
              kept ? "private, max-age=86400" : "no-store");
    EXPECT_EQ(tag.size() > 2, kept) << file;
    auto again = client->Get(root + "data/" + file, {{"If-None-Match", "\"x\", W/" + tag}});
    EXPECT_EQ(Status(again), kept ? 304 : 200) << file;
  }
}

TEST_F(ShellServerTest, NothingOutsideTheDataFolderIsServed) {
  StartServer();
  for (const char* path :
       {"data/../outside.html", "data/%2e%2e/outside.html", "data/setting_tool_page.dat",
        "data/.input", "data/missing.html", "data/shell/../../outside.html", "outside.html",
        "data/SMARTPage.html%00.svg", "data/%zz.html", "../outside.html"}) {
    auto result = client->Get(root + path);
    EXPECT_TRUE(Status(result) == 404 || Status(result) == 400) << path << " " << Status(result);
    if (result) {
      EXPECT_EQ(result->body.find("secret"), std::string::npos);
      EXPECT_EQ(result->body.find("outside"), std::string::npos);
    }
  }
}

TEST_F(ShellServerTest, InputsAreParsedAndMalformedOnesRefused) {
  StartServer();
  EXPECT_EQ(Post("type=button&id=1007"), 204);
  EXPECT_EQ(Post("type=mousedown&button=0&x=694&y=143"), 204);
  EXPECT_EQ(Post("type=button&id=abc"), 400);
  EXPECT_EQ(Post("garbage"), 400);
  EXPECT_EQ(Post("type=dialog&id=12&answer=ok"), 409);  // no such dialog
  acceptInputs = false;
  EXPECT_EQ(Post("type=key&key=F2"), 503);
  EXPECT_EQ(Status(client->Get(root + "data/.input")), 404);
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_EQ(inputs.size(), 3u);
  EXPECT_EQ(inputs[0].id, 1007);
  EXPECT_EQ(inputs[1].x, 694);
  EXPECT_EQ(inputs[2].key, "F2");
}

TEST_F(ShellServerTest, TheEventStreamStartsWithTheWindowStateAndFollowsIt) {
  StartServer();
  WindowLook look;
  look.page = kPageTool;
  shell.Publish(look);
  std::string received;
  std::thread later([&] {
    // Published while the page waits: it must wake the stream.
    for (int i = 0; i < 100 && shell.stream().clientCount() == 0; ++i)
      std::this_thread::sleep_for(milliseconds(20));
    std::this_thread::sleep_for(milliseconds(100));
    WindowLook next;
    next.page = kPageSystem;
    shell.Publish(next);
  });
  auto result = client->Get(root + "ui/events", [&](const char* bytes, std::size_t length) {
    received.append(bytes, length);
    return received.find("\"page\":6") == std::string::npos;
  });
  later.join();
  EXPECT_EQ(received.rfind("event: state\ndata: {\"page\":5", 0), 0u) << received;
  EXPECT_NE(received.find("\n\nevent: state\ndata: {\"page\":6"), std::string::npos) << received;
}

TEST_F(ShellServerTest, DownloadsCarryTheOfferedNameOnly) {
  StartServer();
  std::ofstream(data + "SMART.xls") << "xls";
  auto result = client->Get(root + "data/SMART.xls?download=SMART.xls%22%0d%0aX:%20y");
  ASSERT_EQ(Status(result), 200);
  EXPECT_EQ(result->body, "xls");
  EXPECT_EQ(result->get_header_value("Content-Disposition"),
            "attachment; filename=\"SMART.xlsXy\"");
}

// 200 idle connections and 16 that send their request head slowly: the window's own
// requests still get their answers, and stopping closes them all.
TEST_F(ShellServerTest, SlowAndIdleClientsNeitherStallTheWindowNorItsEnd) {
  StartServer();
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 200; ++i)
    idle.push_back(std::make_unique<RawClient>(server->port()));
  std::vector<std::unique_ptr<RawClient>> slow;
  for (int i = 0; i < 16; ++i) {
    slow.push_back(std::make_unique<RawClient>(server->port()));
    slow.back()->Send("GET " + root + " HTTP/1.1\r\nHost: " + HostPort() + "\r\n");
  }
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    for (int line = 0; !done; ++line) {
      for (auto& one : slow)
        one->Send("X-Line-" + std::to_string(line) + ": 1\r\n");
      std::this_thread::sleep_for(milliseconds(200));
    }
  });
  httplib::Client events("127.0.0.1", server->port());
  std::thread page(
      [&] { events.Get(root + "ui/events", [](const char*, std::size_t) { return true; }); });

  client->set_read_timeout(3, 0);
  client->set_connection_timeout(3, 0);
  for (int i = 0; i < 5; ++i) {
    auto result = client->Get(root + "data/SMARTPage.html");
    ASSERT_EQ(Status(result), 200) << "request " << i;
  }
  EXPECT_EQ(Post("type=button&id=1005"), 204);
  done = true;
  trickle.join();

  auto stopped = std::async(std::launch::async, [this] { server->Stop(); });
  ASSERT_EQ(stopped.wait_for(seconds(5)), std::future_status::ready);
  page.join();
  EXPECT_TRUE(idle.front()->ClosedWithin(seconds(2)));
  EXPECT_TRUE(slow.back()->ClosedWithin(seconds(2)));
}

// A request head that keeps trickling in and a connection that stays idle are both closed
// once the request limit has passed, as is a kept-alive connection after its answer.
TEST_F(ShellServerTest, LateRequestsAndIdleConnectionsAreClosed) {
  options.requestLimit = milliseconds(300);
  StartServer();
  RawClient idle(server->port());
  RawClient trickling(server->port());
  RawClient keptAlive(server->port());
  ASSERT_TRUE(trickling.Send("GET " + root + " HTTP/1.1\r\n"));
  ASSERT_TRUE(keptAlive.Send("GET " + root + "data/images/a.svg HTTP/1.1\r\nHost: " + HostPort() +
                             "\r\n\r\n"));
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    while (!done && trickling.Send("X: 1\r\n"))
      std::this_thread::sleep_for(milliseconds(50));
  });
  EXPECT_TRUE(idle.ClosedWithin(seconds(3)));
  EXPECT_TRUE(trickling.ClosedWithin(seconds(3)));
  std::string answer;
  EXPECT_TRUE(keptAlive.ClosedWithin(seconds(3), &answer));
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK", 0), 0u) << answer;
  done = true;
  trickle.join();
  // The server itself goes on answering.
  EXPECT_EQ(Status(client->Get(root + "data/images/a.svg")), 200);
}

// Clients that keep more connections open than the server allows never shut the window
// out: each new connection closes the one that waited longest.
TEST_F(ShellServerTest, ManyOpenConnectionsLeaveRoomForTheWindow) {
  options.maxConnections = 40;
  StartServer();
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 100; ++i)
    idle.push_back(std::make_unique<RawClient>(server->port()));
  client->set_connection_timeout(3, 0);
  client->set_read_timeout(3, 0);
  EXPECT_EQ(Status(client->Get(root + "data/images/a.svg")), 200);
  EXPECT_TRUE(idle.front()->ClosedWithin(seconds(2)));  // the oldest made room
}

// A body sent in chunks (no length) is cut off once it passes the limit, long before it
// could fill the program's memory; a declared length over the limit is refused at once.
TEST_F(ShellServerTest, ABodyOverTheLimitIsRefusedWhileItArrives) {
  StartServer();
  RawClient chunked(server->port());
  ASSERT_TRUE(chunked.Send("POST " + root + "data/.input HTTP/1.1\r\nHost: " + HostPort() +
                           "\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n"
                           "Transfer-Encoding: chunked\r\n\r\n"));
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'a') + "\r\n";
  std::size_t sent = 0;
  constexpr std::size_t kGiveUp = 64u << 20;
  while (sent < kGiveUp && chunked.Send(chunk))
    sent += chunk.size();
  EXPECT_LT(sent, 16u << 20) << "the server kept reading the body";

  RawClient declared(server->port());
  ASSERT_TRUE(declared.Send("POST " + root + "data/.input HTTP/1.1\r\nHost: " + HostPort() +
                            "\r\n"
                            "Content-Length: 200000000\r\n\r\ntype=button&id=1005"));
  std::string answer;
  EXPECT_TRUE(declared.ClosedWithin(seconds(3), &answer));
  EXPECT_EQ(answer.rfind("HTTP/1.1 413", 0), 0u) << answer;
  EXPECT_EQ(Post("type=button&id=1005"), 204);  // still answering
  EXPECT_EQ(InputCount(), 1u);
}

// Cookies a page of another port planted (no prefix) are never taken in; the run's inputs
// are, and the next page the browser loads expires those it sent again unchanged.
TEST_F(ShellServerTest, OnlyTheRunsInputCookiesAreTakenAndThenExpired) {
  StartServer();
  const std::string page = root + "data/SMARTPage.html";
  auto planted = client->Get(page, {{"Cookie", "tool_page_host=evil.example; disk_sel=3"}});
  ASSERT_EQ(Status(planted), 200);
  EXPECT_EQ(cookies.generation(), 0u);
  EXPECT_EQ(cookies.Get(), "");

  const std::string host = prefix + "tool_page_host=mail.example";
  EXPECT_EQ(Status(client->Get(root + "data/.inputs", {{"Cookie", host}})), 204);
  EXPECT_EQ(cookies.Get(), "tool_page_host=mail.example");
  EXPECT_EQ(cookies.generation(), 1u);

  auto image = client->Get(root + "data/images/a.svg", {{"Cookie", host}});
  ASSERT_EQ(Status(image), 200);
  EXPECT_FALSE(image->has_header("Set-Cookie"));  // only a page's answer expires them

  auto again = client->Get(page, {{"Cookie", host + "; " + prefix + "disk_sel=2"}});
  ASSERT_EQ(Status(again), 200);
  ASSERT_EQ(again->get_header_value_count("Set-Cookie"), 1u);
  EXPECT_EQ(again->get_header_value("Set-Cookie"),
            prefix + "tool_page_host=; Max-Age=0; Path=" + root + "data/; SameSite=Strict");
  // Expired in the browser, still taken in the program.
  EXPECT_EQ(cookies.Get(), "disk_sel=2; tool_page_host=mail.example");
}

// Pages of other ports may fill the host's cookies up to what a browser sends (~180 kB,
// in few large or many small ones): the window and its pages still load, and the run's
// own cookie among them is still read.
TEST_F(ShellServerTest, AHostFullOfForeignCookiesStillGetsTheWindow) {
  StartServer();
  for (const auto& [count, size] : {std::pair{45, 4000}, std::pair{180, 1000}}) {
    const std::string own = "mail.example" + std::to_string(count);
    std::string jar;
    for (int i = 0; i < count; ++i) {
      jar += "planted" + std::to_string(i) + "=" + std::string(size, 'x') + "; ";
      if (i == count / 2)
        jar += prefix + "tool_page_host=" + own + "; ";
    }
    EXPECT_EQ(Status(client->Get(root, {{"Cookie", jar}})), 200) << count;
    EXPECT_EQ(Status(client->Get(root + "data/SMARTPage.html", {{"Cookie", jar}})), 200) << count;
    EXPECT_EQ(cookies.Get(), "tool_page_host=" + own);
  }
}

}  // namespace
}  // namespace ds

namespace ds {
namespace {

// A held view: the frame's navigation of a click, answered once the click's view is built.
class HeldViewServerTest : public ShellServerTest {
 protected:
  void PublishFrame(const std::string& file, std::uint64_t sequence) {
    WindowLook look;
    look.frame = file;
    look.frameSequence = sequence;
    shell.Publish(look);
  }
  // GET data/.view?from=N on a connection of its own; the answer and how long it took.
  std::future<std::pair<httplib::Result, milliseconds>> AskView(const std::string& from) {
    return std::async(std::launch::async, [this, from] {
      httplib::Client own("127.0.0.1", server->port());
      own.set_read_timeout(5, 0);
      const auto start = std::chrono::steady_clock::now();
      httplib::Result result = own.Get(root + "data/.view?from=" + from);
      return std::pair(std::move(result), std::chrono::duration_cast<milliseconds>(
                                              std::chrono::steady_clock::now() - start));
    });
  }
};

TEST_F(HeldViewServerTest, TheClicksBuiltPageIsWhereTheFrameGoes) {
  options.viewHold = seconds(4);  // longer than any pause of a loaded machine
  StartServer();
  PublishFrame("HomePage.html", 4);
  auto view = AskView("4");
  // The click's loading page does not end the hold; its built page does.
  std::this_thread::sleep_for(milliseconds(30));
  PublishFrame("loading.html", 5);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_EQ(view.wait_for(milliseconds(0)), std::future_status::timeout);
  PublishFrame("SMARTPage.html", 6);
  auto [result, took] = view.get();
  ASSERT_EQ(Status(result), 303);
  EXPECT_EQ(result->get_header_value("Location"), root + "data/SMARTPage.html?view=6");
  EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store");
  EXPECT_LT(took, seconds(4)) << "answered at the page, not at the deadline";

  // A view published before the request came in is shown at once.
  auto [again, againTook] = AskView("5").get();
  ASSERT_EQ(Status(again), 303);
  EXPECT_EQ(again->get_header_value("Location"), root + "data/SMARTPage.html?view=6");
}

TEST_F(HeldViewServerTest, AfterTheLoadingDelayTheFrameGetsWhatThereIs) {
  options.viewHold = milliseconds(300);
  StartServer();
  PublishFrame("HomePage.html", 4);
  // Nothing new: the frame keeps its page.
  auto [unchanged, waited] = AskView("4").get();
  EXPECT_EQ(Status(unchanged), 204);
  EXPECT_GE(waited, options.viewHold - milliseconds(10));
  // A slow disk: the loading page.
  auto slow = AskView("4");
  std::this_thread::sleep_for(milliseconds(20));
  PublishFrame("loading.html", 5);
  auto [loading, loadingTook] = slow.get();
  ASSERT_EQ(Status(loading), 303);
  EXPECT_EQ(loading->get_header_value("Location"), root + "data/loading.html?view=5");
  EXPECT_GE(loadingTook, options.viewHold - milliseconds(10));
}

TEST_F(HeldViewServerTest, AHeldViewNeedsTheTokenAPlainNumberAndEndsWithTheServer) {
  options.viewHold = seconds(4);
  StartServer();
  PublishFrame("HomePage.html", 4);
  EXPECT_EQ(Status(client->Get("/data/.view?from=1")), 404);
  EXPECT_EQ(Status(client->Get(root + "data/.view?from=x")), 400);
  EXPECT_EQ(Status(client->Get(root + "data/.view")), 400);
  EXPECT_EQ(Status(client->Post(root + "data/.view?from=1", "", "text/plain")), 405);
  // A held view does not keep the window from closing; it gets its answer first.
  auto view = AskView("4");
  std::this_thread::sleep_for(milliseconds(30));
  const auto start = std::chrono::steady_clock::now();
  server->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(2));
  auto [result, took] = view.get();
  EXPECT_EQ(Status(result), 204);
  EXPECT_LT(took, seconds(2)) << "answered at the end, not at its deadline";
}

}  // namespace
}  // namespace ds
