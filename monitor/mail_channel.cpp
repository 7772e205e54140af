#include "monitor/mail_channel.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "platform/file_system.h"
#include "platform/process_launcher.h"

namespace ds {
namespace {

constexpr const char* kLogPrefix = "drivesentinel: alert mail: ";
constexpr std::size_t kMaxResultBytes = 64 * 1024;

void RemoveResultFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// The first line of the result file once it is there. A line counts when it is ended by a
// line feed, or when the mailer has ended (`writerDone`) and the file holds no more.
std::optional<std::string> ResultLine(const std::string& path, bool writerDone) {
  std::string content, message;
  if (!ReadWholeFile(path, kMaxResultBytes, &content, &message))
    return std::nullopt;
  std::size_t end = content.find('\n');
  if (end == std::string::npos && !writerDone)
    return std::nullopt;
  std::string line = content.substr(0, end);
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return line;
}

}  // namespace

MailChannel::MailChannel(std::string mailerPath, std::string resultPath, Sleeper sleep,
                         MessageSink log)
    : mailerPath_(std::move(mailerPath)),
      resultPath_(std::move(resultPath)),
      sleep_(sleep ? std::move(sleep) : Sleeper(SleepFor)),
      log_(std::move(log)) {}

void MailChannel::Log(const std::string& text) {
  std::string line = kLogPrefix + text;
  if (log_)
    log_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

bool MailChannel::Pause(std::chrono::milliseconds duration, const std::stop_token& stop) {
  while (duration > std::chrono::milliseconds(0)) {
    if (stop.stop_requested())
      return false;
    std::chrono::milliseconds step = std::min(duration, kResultPollInterval);
    sleep_(step);
    duration -= step;
  }
  return !stop.stop_requested();
}

MailOutcome MailChannel::SendAlert(const AlertSettings& settings, const DriveRecord& drive,
                                   std::string_view alertText, std::stop_token stop) {
  const MailAccount account = MailAccountOf(settings);
  return SendAlertFields(
      settings, [&] { return AlertMailFields(account, drive, alertText, resultPath_); }, stop);
}

MailOutcome MailChannel::SendAlert(const AlertSettings& settings, const DriveRecord& drive,
                                   const MailOrigin& origin, std::string_view alertText,
                                   std::stop_token stop) {
  const MailAccount account = MailAccountOf(settings);
  return SendAlertFields(
      settings, [&] { return AlertMailFields(account, drive, origin, alertText, resultPath_); },
      stop);
}

MailOutcome MailChannel::SendAlertFields(const AlertSettings& settings,
                                         const std::function<std::vector<std::string>()>& fields,
                                         std::stop_token stop) {
  MailAccount account = MailAccountOf(settings);
  if (std::optional<std::string> missing = MailFieldCheck(account)) {
    Log("no mail sent, the mail settings are incomplete: " + *missing);
    return {"no mail sent: " + *missing, true};
  }
  std::lock_guard<std::mutex> hold(mailFileLock_);
  RemoveResultFile(resultPath_);
  if (!FileExists(mailerPath_)) {
    Log("no mail sent, the mail program is missing: " + mailerPath_);
    return {"no mail sent: " + mailerPath_ + " is missing", true};
  }
  MailerRun run = RunMailer(fields(), stop);
  MailOutcome outcome{run.text, true};
  switch (run.end) {
    case MailerEnd::kResult:
      if (run.text.empty()) {
        outcome.text = "the mail program wrote an empty result";
      } else if (run.text.find("Error") == std::string::npos) {
        outcome.isError = false;
        return outcome;
      }
      break;
    case MailerEnd::kCannotStart:
      outcome.text = "no mail sent: " + run.text;
      break;
    case MailerEnd::kNoResult:
      outcome.text = "the mail program ended (exit code " + std::to_string(run.exitCode) +
                     ") without writing " + resultPath_;
      break;
    case MailerEnd::kTimedOut:
      outcome.text = "the mail program gave no result within " +
                     std::to_string(kResultPolls * kResultPollInterval.count() / 1000) +
                     " s and was stopped";
      break;
    case MailerEnd::kStopped:
      return {"stopped", true};
  }
  Log(outcome.text);
  return outcome;
}

MailOutcome MailChannel::SendTest(const MailAccount& account,
                                  const std::function<void(std::string_view)>& progress,
                                  std::stop_token stop) {
  std::lock_guard<std::mutex> hold(mailFileLock_);
  RemoveResultFile(resultPath_);
  if (!FileExists(mailerPath_))
    return {kMailerMissing, true};
  if (progress)
    progress(kMailTesting);
  if (!Pause(kTestMailDelay, stop))
    return {kTestMailFailed, true};
  RemoveResultFile(resultPath_);
  MailerRun run = RunMailer(TestMailFields(account, resultPath_), stop);
  if (run.end != MailerEnd::kResult || run.text.empty())
    return {kTestMailFailed, true};
  return {run.text, run.text.find("Error") != std::string::npos};
}

MailChannel::MailerRun MailChannel::RunMailer(const std::vector<std::string>& fields,
                                              std::stop_token stop) {
  MailerRun run;
  ChildProcess mailer;  // killed if still running and reaped when this returns
  if (!mailer.Start({mailerPath_, kMailerStdinSwitch}, MailerInput(fields), &run.text)) {
    run.end = MailerEnd::kCannotStart;
    return run;
  }
  for (int poll = 0; poll < kResultPolls; ++poll) {
    // Look at the mailer first: a mailer that has ended has written all it will write.
    bool ended = mailer.WaitFor(std::chrono::milliseconds(0));
    if (std::optional<std::string> line = ResultLine(resultPath_, ended)) {
      run.end = MailerEnd::kResult;
      run.text = *line;
      return run;
    }
    if (ended) {
      run.end = MailerEnd::kNoResult;
      run.exitCode = mailer.exitCode();
      return run;
    }
    if (!Pause(kResultPollInterval, stop)) {
      run.end = MailerEnd::kStopped;
      return run;
    }
  }
  run.end = MailerEnd::kTimedOut;
  return run;
}

}  // namespace ds
