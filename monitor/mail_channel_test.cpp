#include "monitor/mail_channel.h"

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

void Write(const std::string& path, const std::string& text, mode_t mode = 0644) {
  std::string message;
  ASSERT_TRUE(ReplaceFileAtomically(path, text, FileAccess::kShared, &message)) << message;
  ::chmod(path.c_str(), mode);
}

// A mail script noting its pid and argv, then running `body` (RESULT: the result file; null: none).
struct Fixture {
  explicit Fixture(const char* body, mode_t mode = 0755) {
    if (body == nullptr)
      return;
    std::string script = body;
    for (std::size_t at; (at = script.find("RESULT")) != std::string::npos;)
      script.replace(at, 6, "'" + result + "'");
    Write(mailer,
          "#!/bin/sh\necho $$ > '" + dir.path() + "pid'\nprintf '%s\\n' \"$0\" \"$@\" > '" +
              dir.path() + "argv'\ncat > /dev/null\n" + script + "\n",
          mode);
  }
  std::string Noted(const char* what) const {
    std::string content;
    return ReadWholeFile(dir.path() + what, 1u << 20, &content, nullptr) ? content : "<none>";
  }
  bool RanAndReaped() const {
    int pid = std::atoi(Noted("pid").c_str()), status = 0;
    return pid > 0 && ::waitpid(pid, &status, WNOHANG) == -1 && errno == ECHILD &&
           ::kill(pid, 0) == -1;
  }

  TempFolder dir;
  std::string mailer = dir.path() + "CSmtp.exe", result = dir.path() + "mail.txt";
  std::atomic<long long> requested{0};
  std::atomic<int> pauses{0};
  std::function<void()> onPause;
  std::vector<std::string> logged;
  void Pause(std::chrono::milliseconds duration) {
    requested += duration.count(), ++pauses;
    if (onPause)
      onPause();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  MailChannel channel{mailer, result, [this](auto duration) { Pause(duration); },
                      [this](std::string_view line) { logged.emplace_back(line); }};
};

const AlertSettings kSettings = [] {
  AlertSettings s;
  s.EnableSSL = 1, s.From = "a@x.com", s.To = "b@y.com,", s.Host = "smtp.x.com", s.Port = "587";
  s.Id = "me", s.Passwd = "p w\"d";
  return s;
}();
const MailAccount kAccount = MailAccountOf(kSettings);

TEST(MailChannelTest, TestAndAlertFollowTheMailersResult) {
  struct Case {  // the mailer (null: none), what the test shows, test red and alert logged
    const char *body, *shown;
    bool error;
    const char* alertLog;  // part of the alert's log line
    mode_t mode = 0755;
  };
  // clang-format off
  const Case cases[] = {
      {"printf 'Mail sent to 1 recipient.\\nmore\\n' > RESULT", "Mail sent to 1 recipient.", false, ""},
      {"printf 'Error: login denied (535)\\n' > RESULT; exit 1", "Error: login denied (535)", true,
       "drivesentinel: alert mail: Error: login denied (535)"},
      {"printf 'SMTP Error\\n' > RESULT", "SMTP Error", true, "SMTP Error"},
      {"printf 'Sent.\\r\\n' > RESULT", "Sent.", false, ""},
      {"printf 'Se' > RESULT; sleep 0.05; printf 'nt.' >> RESULT", "Sent.", false, ""},
      {"printf '\\nSent.\\n' > RESULT", kTestMailFailed, true, "empty"},
      {": > RESULT", kTestMailFailed, true, "empty"},
      {"exit 0", kTestMailFailed, true, "without writing"},
      {"exec sleep 60", kTestMailFailed, true, "within 20 s and was stopped"},
      {nullptr, kMailerMissing, true, "missing"},
      {"exit 0", kTestMailFailed, true, "cannot start", 0644},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (bool alert : {false, true}) {
      Fixture f(c.body, c.mode);
      Write(f.result, "Mail sent to 1 recipient.\n");  // left from an earlier mail
      std::vector<std::string> shown;
      MailOutcome outcome =
          alert ? f.channel.SendAlert(kSettings, {}, "Too hot.")
                : f.channel.SendTest(kAccount, [&](std::string_view t) { shown.emplace_back(t); });
      std::string name = std::string(c.body ? c.body : "no mailer") + (alert ? " (alert)" : "");
      EXPECT_EQ(outcome.isError, c.error) << name;
      if (alert) {
        EXPECT_EQ(f.logged.size(), c.error ? 1u : 0u) << name;
        for (const std::string& line : f.logged)
          EXPECT_NE(line.find(c.alertLog), std::string::npos) << name << ": " << line;
      } else {
        EXPECT_EQ(outcome.text, c.shown) << name;
        EXPECT_EQ(shown, std::vector<std::string>(c.body ? 1 : 0, kMailTesting)) << name;
      }
      EXPECT_LE(f.requested.load(), alert ? 20000 : 20500) << name;
      if (c.body == nullptr || c.mode != 0755)
        continue;
      EXPECT_TRUE(f.RanAndReaped()) << name;
      // The password goes on standard input, never in argv.
      EXPECT_EQ(f.Noted("argv"), f.mailer + "\n--fields-from-stdin\n") << name;
    }
  }
}

TEST(MailChannelTest, NoAlertWithoutACompleteAccount) {
  Fixture f("exit 0");
  AlertSettings settings = kSettings;
  settings.Port.clear();
  EXPECT_TRUE(f.channel.SendAlert(settings, {}, "a").isError);
  EXPECT_NE(f.logged.at(0).find("Please input \"Port\" field!"), std::string::npos);
  EXPECT_EQ(f.Noted("pid"), "<none>");
}

TEST(MailChannelTest, WatchesTheResultFileAndTheStopDuringPauses) {
  // Mailer, alert, stop at this pause (0: a result appears during the test's first pause).
  const std::tuple<const char*, bool, int> cases[] = {
      {"exit 1", false, 0}, {"exec sleep 60", false, 2}, {"exec sleep 60", true, 8}};
  for (const auto& [body, alert, stopAt] : cases) {
    Fixture f(body);
    std::stop_source stop;
    f.onPause = [&] {
      if (stopAt == 0 && f.pauses == 2)
        Write(f.result, "Mail sent to 1 recipient.\n");
      if (f.pauses == stopAt)
        stop.request_stop();
    };
    MailOutcome outcome = alert ? f.channel.SendAlert(kSettings, {}, "a", stop.get_token())
                                : f.channel.SendTest(kAccount, {}, stop.get_token());
    EXPECT_TRUE(outcome.isError && f.logged.empty() && (!stopAt || f.pauses == stopAt)) << body;
    EXPECT_EQ(f.RanAndReaped(), stopAt != 2) << body;  // stopped before the mailer started
  }
}

TEST(MailChannelTest, AlertsAndTestsNeverOverlap) {
  TempFolder marks;  // each run holds a marker folder while it works
  std::string body = "cd " + marks.path() + " && { mkdir busy || echo x >> overlaps; }; " +
                     "sleep 0.05; rmdir busy; printf 'Sent.\\n' > RESULT";
  Fixture f(body.c_str());
  std::atomic<int> sent{0};
  std::thread alerts([&] {
    for (int i = 0; i < 4; ++i)
      sent += !f.channel.SendAlert(kSettings, {}, "a").isError;
  });
  for (int i = 0; i < 4; ++i)
    sent += !f.channel.SendTest(kAccount, {}).isError;
  alerts.join();
  EXPECT_EQ(sent.load(), 8);
  EXPECT_FALSE(std::filesystem::exists(marks.path() + "overlaps"));
}

}  // namespace
}  // namespace ds
