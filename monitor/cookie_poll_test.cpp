#include "monitor/cookie_poll.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "monitor/mail_fields.h"
#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using V = CookiePollVariant;

class CookiePollTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(home_.path() + "data"); }
  CookiePollResult Poll(V variant, std::string_view text, int drives = 2) {
    return CookiePoll(variant, text, home_.path(), drives, &display_, &alert_);
  }
  std::string CopyFile(V variant) {
    std::string text, path = home_.path() + "data/" + CookieCopyFileName(variant);
    struct stat info;  // the copy may hold the mail password: owner-only
    if (::stat(path.c_str(), &info) != 0 || (info.st_mode & 0777) != 0600)
      return "<missing or not owner-only>";
    ReadWholeFile(path, kMaxTextFileBytes, &text, &path);
    return text;
  }
  TempFolder home_;
  DisplaySettings display_;
  AlertSettings alert_;
};

// Every field's cookie name and the page's own encoding: the Tool page browser test.
TEST_F(CookiePollTest, EachCookieRule) {
  const char* cookies = "disk_sel=1; ; active_rec=1; tool_page_above=70 ";
  const CookiePollResult result = Poll(V::kKeeping, cookies);
  EXPECT_TRUE(result.cookiesTaken && result.displayChanged && result.alertChanged);
  EXPECT_EQ(CopyFile(V::kKeeping), "disk_sel=1\nactive_rec=1\ntool_page_above=70\n");
  EXPECT_FALSE(Poll(V::kKeeping, cookies).alertChanged);

  const std::tuple<V, const char*, std::string AlertSettings::*, const char*> cases[] = {
      {V::kKeeping, "disk_sel=1; tool_page_above=70", &AlertSettings::Under, "-5"},
      {V::kFull, "disk_sel=1; tool_page_above=70", &AlertSettings::Under, ""},
      {V::kKeeping, "tool_page_from=; tool_page_to=x", &AlertSettings::From, "old@x.com"},
      {V::kFull, "tool_page_from=; tool_page_to=x", &AlertSettings::From, ""},
      {V::kKeeping, "tool_page_passwd=a=b==c", &AlertSettings::Passwd, "a=b==c"},
      {V::kKeeping, "tool_page_to=a@x.com,b@y.com", &AlertSettings::To, "a@x.com,b@y.com"},
      {V::kKeeping, "tool_page_host=mail.a; tool_page_host=mail.b", &AlertSettings::Host,
       "mail.a"},  // a repeated name: the cookie of the most specific path
      {V::kKeeping, "tool_page_from=x%0d%0aPasswd=y", &AlertSettings::From, "xPasswd=y"},
      {V::kKeeping, "tool_page_id=%%41%zz%4%", &AlertSettings::Id, "%A%zz%4%"},
      {V::kKeeping, " ;TOOL_PAGE_PORT=587 ;;", &AlertSettings::Port, "587"},
  };
  for (const auto& [variant, cookies, field, expected] : cases) {
    alert_.From = "old@x.com", alert_.Under = "-5";
    Poll(variant, cookies);
    EXPECT_EQ(alert_.*field, expected) << cookies;
  }
  // A decoded line break never reaches the copy file as a line of its own.
  EXPECT_EQ(CopyFile(V::kKeeping).find("\nPasswd"), std::string::npos);
}

// The password from the page's cookie to the mail program's input, through a save and a
// fresh load as after a restart. One with a blank or a control character at an end is kept
// escaped beside "Passwd="; any other is stored as "Passwd=" alone, as older files hold it.
TEST_F(CookiePollTest, ThePasswordReachesTheMailerByteForByteAcrossARestart) {
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"ab%20", "ab ", "Passwd=ab \r\nRefreshByType=0\r\nPasswd_Escaped=ab%20\r\n"},
      {"%09x%25y%0A", "\tx%y", "Passwd=x%y\r\nRefreshByType=0\r\nPasswd_Escaped=%09x%25y\r\n"},
      {"%20a%20b%3D%25", " a b=%",
       "Passwd= a b=%\r\nRefreshByType=0\r\nPasswd_Escaped=%20a%20b=%25\r\n"},
      {"a%20b%3D%25", "a b=%", "Passwd=a b=%\r\nRefreshByType=0\r\n"},
  };
  for (const auto& [cookie, password, lines] : cases) {
    alert_ = AlertSettings{};
    Poll(V::kFull, std::string("tool_page_passwd=") + cookie);
    ASSERT_TRUE(SaveAlertSettings(alert_, home_.path()));
    std::string file, ignored;
    ReadWholeFile(home_.path() + "data/setting_tool_page.dat", 4096, &file, &ignored);
    EXPECT_EQ(file.substr(file.find("Passwd=")), lines) << cookie;
    AlertSettings loaded;
    std::atomic<int> busy{0};
    LoadAlertSettings(loaded, busy, home_.path());
    const std::string input = MailerInput(TestMailFields(MailAccountOf(loaded), "r"));
    EXPECT_NE(input.find(std::string(1, '\0') + password + '\0'), std::string::npos) << cookie;
  }
}

TEST_F(CookiePollTest, WholeNumbersAndTheSelectedDisk) {
  // The cookies, the kept drives, then the disk, active_rec, display type and refresh type.
  // clang-format off
  const std::tuple<const char*, int, int, int, int, int> cases[] = {
      {"Disk_Sel=1; active_rec=1; health_display_type=2; tool_page_refresh_by_type=1", 2, 1, 1, 2, 1},
      {"DISK_SEL=%31x; active_rec=; tool_page_refresh_by_type=", 2, 1, 0, 0, 7},
      {"disk_sel=2", 2, 0, 0, 0, 7},  // beyond the kept drives
      {"disk_sel=1", 0, 0, 0, 0, 7},  // no drive at all
  };
  // clang-format on
  for (const auto& [cookies, drives, disk, rec, displayType, refreshType] : cases) {
    display_ = DisplaySettings{}, alert_.RefreshByType = 7;
    Poll(V::kKeeping, cookies, drives);
    EXPECT_EQ(std::tie(display_.selectedDisk, display_.active_rec, display_.health_display_type,
                       alert_.RefreshByType),
              std::tie(disk, rec, displayType, refreshType))
        << cookies;
  }
  // No cookies, or more than the store returns: nothing is taken, no copy is written.
  const std::string cookie = "tool_page_port=25; filler=";
  const std::string atLimit = cookie + std::string(kMaxCookieTextBytes - cookie.size(), 'x');
  for (const std::string& text : {std::string(), atLimit + "x", atLimit}) {
    const bool taken = text == atLimit;
    EXPECT_EQ(Poll(V::kFull, text).cookiesTaken, taken) << text.size();
    EXPECT_EQ(alert_.Port, taken ? "25" : "") << text.size();
    EXPECT_EQ(CopyFile(V::kFull).size() > 10000, taken) << text.size();
  }
}

}  // namespace
}  // namespace ds
