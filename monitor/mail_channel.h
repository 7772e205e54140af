#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "drive/read_drive.h"
#include "monitor/mail_fields.h"
#include "store/settings.h"

// The program's one way out to the mail program: alert mails from the monitor and the
// Tool page's mail test. Both delete, await and read the same result file, so the channel
// holds one lock, mailFileLock_, for the whole of every send: an alert and a test never
// overlap. Every started mailer is waited for (or killed) and reaped before a send returns.
namespace ds {

// What a send came to: the mailer's first result line, or why nothing was sent.
struct MailOutcome {
  std::string text;
  bool isError = true;
};

// Texts of the mail test, as the test dialog shows them.
inline constexpr const char* kMailTesting = "Testing ...";
inline constexpr const char* kMailerMissing = "Failed to find CSmtp.exe!";
inline constexpr const char* kTestMailFailed = "Failed to send test email!";

// The result file is looked at this often, this far apart (20 s in all), and an alert's
// mailer is given as long before it is killed. The mailer itself gives up after 15 s.
inline constexpr int kResultPolls = 200;
inline constexpr std::chrono::milliseconds kResultPollInterval{100};
// The pause before a test mail is started, as the test dialog waits to show "Testing ...".
inline constexpr std::chrono::milliseconds kTestMailDelay{500};

class MailChannel {
 public:
  // `mailerPath` is the install folder's data/CSmtp.exe (never the writable home);
  // `resultPath` the home folder's data/mail.txt. Pauses go through `sleep` (empty:
  // SleepFor); log lines ("drivesentinel: alert mail: ...") through `log` (empty:
  // standard error).
  MailChannel(std::string mailerPath, std::string resultPath, Sleeper sleep = {},
              MessageSink log = {});
  MailChannel(const MailChannel&) = delete;
  MailChannel& operator=(const MailChannel&) = delete;

  // Sends one alert mail about `drive` and waits for the mailer's verdict. Nothing is sent
  // when a mail field is empty or the mailer is missing; failures are logged.
  MailOutcome SendAlert(const AlertSettings& settings, const DriveRecord& drive,
                        std::string_view alertText, std::stop_token stop = {});
  // The same about one disk of several: the body also says where the disk sits (`origin`).
  MailOutcome SendAlert(const AlertSettings& settings, const DriveRecord& drive,
                        const MailOrigin& origin, std::string_view alertText,
                        std::stop_token stop = {});

  // Sends the test mail with the copied account. `progress` receives "Testing ..." once the
  // mailer is found. An empty or missing result is a failure, never a success.
  MailOutcome SendTest(const MailAccount& account,
                       const std::function<void(std::string_view)>& progress,
                       std::stop_token stop = {});

 private:
  // How one run of the mailer ended.
  enum class MailerEnd { kCannotStart, kResult, kNoResult, kTimedOut, kStopped };
  struct MailerRun {
    MailerEnd end = MailerEnd::kNoResult;
    std::string text;  // the first result line, or why the mailer could not start
    int exitCode = -1;
  };

  // Starts the mailer with `fields` on its standard input and watches the result file
  // until it holds a line, the mailer has ended without one, the polls run out or `stop`
  // is requested. The mailer is reaped (killed first if still running) before it returns.
  MailerRun RunMailer(const std::vector<std::string>& fields, std::stop_token stop);
  MailOutcome SendAlertFields(const AlertSettings& settings,
                              const std::function<std::vector<std::string>()>& fields,
                              std::stop_token stop);
  // Sleeps `duration` in poll-sized steps; false as soon as `stop` is requested.
  bool Pause(std::chrono::milliseconds duration, const std::stop_token& stop);
  void Log(const std::string& text);

  const std::string mailerPath_;
  const std::string resultPath_;
  Sleeper sleep_;
  MessageSink log_;
  std::mutex mailFileLock_;  // held for every send: one mail at a time uses the result file
};

}  // namespace ds
