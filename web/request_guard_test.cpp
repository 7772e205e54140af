#include "web/request_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(RequestGuardTest, TokenMatchesOnlyTheWholeToken) {
  EXPECT_TRUE(TokenMatches("abc123", "abc123"));
  EXPECT_FALSE(TokenMatches("abc123", "abc12"));
  EXPECT_FALSE(TokenMatches("abc123", "abc1234"));
  EXPECT_FALSE(TokenMatches("abc123", "ABC123"));
  EXPECT_FALSE(TokenMatches("abc123", ""));
  EXPECT_FALSE(TokenMatches("", ""));
}

TEST(RequestGuardTest, OnlyPathsUnderTheSecretSegmentPass) {
  struct Case {
    std::string path;
    bool passes;
    std::string rest;
  };
  const Case cases[] = {
      {"/abc123/", true, ""},
      {"/abc123/data/SMARTPage.html", true, "data/SMARTPage.html"},
      {"/abc123/ui/events", true, "ui/events"},
      {"/abc123//x", true, "/x"},
      {"/abc123", false, ""},
      {"/abc12/", false, ""},
      {"/abc1234/", false, ""},
      {"/ABC123/", false, ""},
      {"abc123/", false, ""},
      {"//abc123/", false, ""},
      {"/data/abc123/", false, ""},
      {"/", false, ""},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string_view rest;
    EXPECT_EQ(UnderSecretSegment(c.path, "abc123", &rest), c.passes) << c.path;
    if (c.passes) {
      EXPECT_EQ(rest, c.rest) << c.path;
    }
  }
  std::string_view rest;
  EXPECT_FALSE(UnderSecretSegment("//", "", &rest));  // no token, no segment
}

TEST(RequestGuardTest, CookieHeaderParts) {
  struct Case {
    std::string header;
    std::string token;
    std::string rest;
  };
  const Case cases[] = {
      {"ds_token=T1; disk_sel=1", "T1", "disk_sel=1"},
      {"disk_sel=1;ds_token=T2;  active_rec=0", "T2", "disk_sel=1; active_rec=0"},
      {"a=x=y; ds_token=", "", "a=x=y"},
      {"xds_token=no; ds_tokenx=no", "", "xds_token=no; ds_tokenx=no"},
      {"ds_token=first; ds_token=second", "first", ""},
      {";;  ; tool_page_to=a@b,c@d ;", "", "tool_page_to=a@b,c@d"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CookieValue(c.header, "ds_token"), c.token) << c.header;
    EXPECT_EQ(WithoutCookie(c.header, "ds_token"), c.rest) << c.header;
  }
}

TEST(RequestGuardTest, HostAndOriginChecks) {
  struct Case {
    std::string host;
    std::string bind;
    bool allowed;
  };
  const Case cases[] = {
      {"127.0.0.1:8080", "127.0.0.1", true},
      {"localhost:8080", "127.0.0.1", true},
      {"LocalHost:8080", "127.0.0.1", true},
      {"[::1]:8080", "127.0.0.1", true},
      {"127.0.0.1:8081", "127.0.0.1", false},
      {"127.0.0.1", "127.0.0.1", false},
      {"evil.example:8080", "127.0.0.1", false},  // DNS rebinding
      {"127.0.0.1.evil.example:8080", "127.0.0.1", false},
      {"", "127.0.0.1", false},
      {"192.168.1.5:8080", "192.168.1.5", true},
      {"192.168.1.5:8080", "0.0.0.0", false},
      {"[fe80::1]:8080", "fe80::1", true},
  };
  for (const Case& c : cases) {
    const HostPolicy policy = MakeHostPolicy(c.bind, {}, false);
    EXPECT_EQ(HostAllowed(c.host, 8080, policy), c.allowed) << c.host << " bind " << c.bind;
    EXPECT_EQ(OriginAllowed("http://" + c.host, 8080, policy), c.allowed) << c.host;
  }
  // Browsers leave the default port 80 out of Host and Origin.
  const Case port80[] = {
      {"127.0.0.1", "127.0.0.1", true},       {"localhost", "127.0.0.1", true},
      {"[::1]", "127.0.0.1", true},           {"127.0.0.1:80", "127.0.0.1", true},
      {"127.0.0.1:8080", "127.0.0.1", false}, {"127.0.0.1:", "127.0.0.1", false},
      {"evil.example", "127.0.0.1", false},
  };
  for (const Case& c : port80) {
    const HostPolicy policy = MakeHostPolicy(c.bind, {}, false);
    EXPECT_EQ(HostAllowed(c.host, 80, policy), c.allowed) << c.host << " at port 80";
    EXPECT_EQ(OriginAllowed("http://" + c.host, 80, policy), c.allowed) << c.host;
  }
  const HostPolicy loopback = MakeHostPolicy("127.0.0.1", {}, false);
  EXPECT_FALSE(HostAllowed("127.0.0.1", 8080, loopback));
  EXPECT_TRUE(OriginAllowed("", 8080, loopback));
  EXPECT_FALSE(OriginAllowed("null", 8080, loopback));
  EXPECT_FALSE(OriginAllowed("https://127.0.0.1:8080", 8080, loopback));
  EXPECT_FALSE(OriginAllowed("http://evil.example", 8080, loopback));
}

// Reached from other machines: the machine's own names and those given with --allow-host
// pass, others still do not; with TLS the scheme is https and 443 the default port.
TEST(RequestGuardTest, RemoteNamesAndHttps) {
  const HostPolicy policy =
      MakeHostPolicy("0.0.0.0", {"192.168.7.20", "fe80::5", "Plant-PC", "ds.example"}, true);
  struct Case {
    const char* host;
    int port;
    bool allowed;
  };
  const Case cases[] = {
      {"192.168.7.20:8443", 8443, true}, {"[fe80::5]:8443", 8443, true},
      {"plant-pc:8443", 8443, true},     {"DS.example", 443, true},
      {"ds.example:443", 443, true},     {"evil.example:8443", 8443, false},
      {"0.0.0.0:8443", 8443, false},     {"192.168.7.21:8443", 8443, false},
      {"ds.example", 80, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HostAllowed(c.host, c.port, policy), c.allowed) << c.host;
    EXPECT_EQ(OriginAllowed(std::string("https://") + c.host, c.port, policy), c.allowed) << c.host;
    EXPECT_FALSE(OriginAllowed(std::string("http://") + c.host, c.port, policy)) << c.host;
  }
}

class DataFileTest : public testing::Test {
 protected:
  DataFileTest() {
    data = home.path() + "data/";
    std::filesystem::create_directories(data + "images");
    std::filesystem::create_directories(home.path() + "secret");
    for (const char* file : {"SMARTPage.html", "images/btn_131.svg", "setting_tool_page.dat",
                             "SMART.xls", ".input", "noext", "Disk Info.html"}) {
      std::ofstream(data + file) << "x";
    }
    std::ofstream(home.path() + "secret/passwd.html") << "x";
    std::filesystem::create_symlink(home.path() + "secret/passwd.html", data + "escape.html");
    std::filesystem::create_symlink(home.path() + "secret", data + "linkdir");
    std::filesystem::create_symlink(data + "setting_tool_page.dat", data + "settings.html");
    std::filesystem::create_symlink(data + "SMARTPage.html", data + "alias.html");
    std::filesystem::create_directories(data + "folder.html");
  }
  TempFolder home;
  std::string data;
};

TEST_F(DataFileTest, ServesOnlyServedKindsInsideTheDataFolder) {
  struct Case {
    std::string relative;
    bool served;
  };
  const Case cases[] = {
      {"SMARTPage.html", true},
      {"images/btn_131.svg", true},
      {"SMART.xls", true},
      {"Disk Info.html", true},
      {"alias.html", true},  // a link that stays inside
      {"", false},
      {"../secret/passwd.html", false},
      {"images/../SMARTPage.html", false},
      {"./SMARTPage.html", false},
      {"images//btn_131.svg", false},
      {"/etc/passwd", false},
      {"images\\btn_131.svg", false},
      {std::string("SMARTPage.html\0.png", 19), false},
      {"setting_tool_page.dat", false},
      {".input", false},
      {"noext", false},
      {"missing.html", false},
      {"escape.html", false},          // link out of the data folder
      {"linkdir/passwd.html", false},  // folder link out of the data folder
      {"settings.html", false},        // link to a kind never served
      {"folder.html", false},
      {std::string(2000, 'a') + ".html", false},
  };
  for (const Case& c : cases) {
    std::string path;
    EXPECT_EQ(ResolveDataFile(data, c.relative, &path), c.served) << c.relative;
    if (c.served) {
      EXPECT_EQ(path.rfind(std::filesystem::canonical(data).string(), 0), 0u);
    }
  }
}

TEST(RequestGuardTest, ContentTypes) {
  EXPECT_STREQ(ServedContentType("a.HTML"), "text/html; charset=utf-8");
  EXPECT_STREQ(ServedContentType("x.svg"), "image/svg+xml");
  EXPECT_STREQ(ServedContentType("SMART.xls"), "application/vnd.ms-excel");
  for (const char* never : {"setting.dat", "setting2.tmp", "CSmtp.exe", "mail.txt.bak", "x", "."}) {
    EXPECT_EQ(ServedContentType(never), nullptr) << never;
  }
}

}  // namespace
}  // namespace ds
