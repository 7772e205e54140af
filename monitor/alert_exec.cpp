#include "monitor/alert_exec.h"

#include <ctime>

#include "monitor/mail_fields.h"
#include "monitor/rearm_period.h"
#include "text/leading_integer.h"
#include "text/text_helpers.h"

namespace ds {
namespace {

constexpr const char* kHookPath =
    "PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";

bool Has(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  for (;;) {
    const std::size_t end = text.find('\n');
    lines.push_back(CleanDiskText(text.substr(0, end)));
    if (end == std::string_view::npos)
      return lines;
    text.remove_prefix(end + 1);
  }
}

// The moment as smartd writes it: "Sun Feb  9 14:58:19 2003 CET", local time.
std::string SmartdTime(std::int64_t seconds) {
  const std::time_t time = static_cast<std::time_t>(seconds);
  std::tm local{};
  char text[64] = "";
  if (localtime_r(&time, &local) != nullptr)
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y %Z", &local);
  return text;
}

}  // namespace

std::string CleanDiskText(std::string_view text) {
  std::string clean;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f && !(clean.empty() && c == '~'))
      clean += c;
  }
  return clean;
}

std::string EscapeForLog(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\')
      escaped += "\\\\";
    else if (c == '\n')
      escaped += "\\n";
    else if (byte < 0x20 || byte == 0x7f)
      escaped += Format("\\x%02x", byte);
    else
      escaped += c;
  }
  return escaped;
}

std::string SmartdFailType(std::string_view text, bool gone) {
  const std::string_view first = text.substr(0, text.find('\n'));
  if (gone)
    return "FailedOpenDevice";
  if (first.starts_with("DUT's temperature value"))
    return "Temperature";
  if (first.starts_with("DUT's (Drive ") && Has(first, ") free space is under"))
    return "FreeSpace";
  if (first.starts_with("DUT's self-test failed"))
    return "SelfTest";
  if (first.starts_with("DUT's error log count"))
    return "ErrorCount";
  if (first.starts_with("DUT's attribute 197 "))
    return "CurrentPendingSector";
  if (first.starts_with("DUT's attribute 198 "))
    return "OfflineUncorrectableSector";
  if (first.starts_with("DUT's own health check"))
    return "Health";
  return "Usage";  // health and lifespan below their limits, the other rising counters
}

AlertExecCall AlertExecCallOf(const AlertExecEvent& event) {
  const WatchMail& mail = event.mail;
  const std::string failType = SmartdFailType(mail.text, mail.gone);
  const std::string device = CleanDiskText(mail.device);
  const std::string host = CleanDiskText(event.host);
  const std::string subject =
      std::string(kAlertMailSubject) + " (" + failType + ") on host " + host;
  AlertExecCall call;
  std::string addresses;
  const std::vector<std::string> recipients = RecipientFields(event.to);
  for (std::size_t i = 1; i < recipients.size(); ++i) {
    const std::string address(TrimBoth(recipients[i]));
    if (address.empty())
      continue;
    if (address.front() == '-' || address != CleanDiskText(address) || Has(address, " ")) {
      call.droppedAddresses.push_back(address);
      continue;
    }
    addresses += (addresses.empty() ? "" : " ") + address;
    call.args.push_back(address);
  }

  std::vector<std::string> body = {"Model Name: " + CleanDiskText(TrimBoth(mail.model)),
                                   "Serial Number: " + CleanDiskText(TrimBoth(mail.serial)),
                                   "Firmware Version: " + CleanDiskText(TrimBoth(mail.firmware)),
                                   DeviceLine({device, host}), ""};
  const std::vector<std::string> text = Lines(mail.text);
  body.insert(body.end(), text.begin(), text.end());
  body.emplace_back("");
  if (event.previousCount > 0)
    body.push_back("This problem was first reported at " + SmartdTime(event.firstEpoch) + ".");
  body.push_back(event.nextDays
                     ? Format("No further message about it for %d days.", *event.nextDays)
                     : "No further message about it until the settings change.");
  std::string full, message;
  for (const std::string& line : body)
    full += line + "\n";
  for (const std::string& line : text)
    message += (message.empty() ? "" : " ") + line;

  call.env = {kHookPath,
              "LANG=C",
              "SMARTD_MAILER=" + event.program,
              "SMARTD_DEVICE=" + device,
              "SMARTD_DEVICETYPE=auto",
              "SMARTD_DEVICESTRING=" + device + " [SAT]",
              "SMARTD_DEVICEINFO=" + CleanDiskText(TrimBoth(mail.model)) +
                  ", S/N:" + CleanDiskText(TrimBoth(mail.serial)) +
                  ", FW:" + CleanDiskText(TrimBoth(mail.firmware)),
              "SMARTD_FAILTYPE=" + failType,
              "SMARTD_MESSAGE=" + message,
              "SMARTD_FULLMESSAGE=" + full,
              "SMARTD_TFIRST=" + SmartdTime(event.firstEpoch),
              "SMARTD_TFIRSTEPOCH=" + std::to_string(event.firstEpoch),
              "SMARTD_PREVCNT=" + std::to_string(event.previousCount),
              "SMARTD_NEXTDAYS=" + (event.nextDays ? std::to_string(*event.nextDays) : ""),
              "SMARTD_SUBJECT=" + subject};
  if (!addresses.empty()) {
    call.env.push_back("SMARTD_ADDRESS=" + addresses);
    call.args.insert(call.args.begin(), {"-s", subject});
    call.input = full;
  }
  return call;
}

AlertExec::AlertExec(std::string program, MessageSink log, TrustedRunLimits limits)
    : program_(std::move(program)), log_(std::move(log)), limits_(limits) {}

void AlertExec::Run(const WatchMail& mail, const AlertSettings& settings, const std::string& host,
                    WallClock::time_point now, std::stop_token stop) {
  const std::lock_guard<std::mutex> one(running_);
  const std::int64_t seconds = WallClock::to_time_t(now);
  AlertExecEvent event{program_, mail, host, settings.To, 0, 0, std::nullopt};
  Problem& problem =
      problems_[mail.model + "\n" + mail.serial + "\n" + SmartdFailType(mail.text, mail.gone)];
  if (problem.runs++ == 0)
    problem.first = seconds;
  event.firstEpoch = problem.first;
  event.previousCount = problem.runs - 1;
  if (const auto end = ReArmTime(now, LeadingInteger(settings.RefreshBy), settings.RefreshByType))
    event.nextDays = static_cast<int>((WallClock::to_time_t(*end) - seconds + 86399) / 86400);
  const AlertExecCall call = AlertExecCallOf(event);
  const std::string about = "alert hook " + program_ + " about " + CleanDiskText(mail.device);
  for (const std::string& address : call.droppedAddresses)
    log_(about + ": the address \"" + EscapeForLog(address) + "\" is not passed");
  const TrustedRunResult run =
      RunTrustedProgram(program_, call.args, call.env, call.input, limits_, stop);
  if (!run.started) {
    log_(about + " not run: " + run.why);
    return;
  }
  std::string line = about + ": exit " + std::to_string(run.exitCode);
  if (run.timedOut)
    line = about + Format(": killed with its process group after %lld ms",
                          static_cast<long long>(limits_.timeout.count()));
  else if (run.stopped)
    line = about + ": killed with its process group, the monitor stops";
  if (!run.output.empty())
    line += "; output: " + EscapeForLog(run.output) + (run.outputCut ? " [cut]" : "");
  log_(line);
}

}  // namespace ds
