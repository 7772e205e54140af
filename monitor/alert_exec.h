#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drive/message_sink.h"
#include "monitor/disk_watch.h"
#include "platform/trusted_program.h"
#include "store/settings.h"

// The administrator's alert hook (Alert_Exec= of the system configuration): once per alert
// mail, a program run the way smartd's "-M exec" runs one, so a script written for smartd
// works unchanged. It gets the SMARTD_* variables, and "-s SUBJECT ADDRESS..." with the whole
// message on its standard input when the Tool page has mail addresses (none and /dev/null
// otherwise). Disk-supplied text loses its control characters and a leading "~" (a mail
// program's command escape). The program is run by RunTrustedProgram (its checks refuse a
// file or folder others could change); whatever comes of it is logged, and never keeps the
// mail from going out.
namespace ds {

// What one run is told about its alert.
struct AlertExecEvent {
  std::string program;  // SMARTD_MAILER
  WatchMail mail;
  std::string host;
  std::string to;               // the Tool page's To field, addresses split at commas
  std::int64_t firstEpoch = 0;  // when this problem of this disk was first reported
  int previousCount = 0;        // runs about it before this one
  std::optional<int> nextDays;  // days until the disk may alert again; none: never
};

// The program's arguments, environment and standard input (none: /dev/null).
struct AlertExecCall {
  std::vector<std::string> args;
  std::vector<std::string> env;
  std::optional<std::string> input;
  std::vector<std::string> droppedAddresses;  // not passed: they could read as options
};

AlertExecCall AlertExecCallOf(const AlertExecEvent& event);

// smartd's name for the alert `text` (its first line decides): Temperature, Usage (health
// and lifespan below their limits, a rising reallocation or CRC count), Health (the disk's
// own verdict), SelfTest, ErrorCount, CurrentPendingSector, OfflineUncorrectableSector,
// FailedOpenDevice (a disk gone); free space is FreeSpace.
std::string SmartdFailType(std::string_view text, bool gone);

// Disk-supplied text fit for a line of the message: control characters and leading "~"
// removed.
std::string CleanDiskText(std::string_view text);

// A program's output for one log line: control characters and "\" written as escapes.
std::string EscapeForLog(std::string_view text);

// The hook of a running program: runs are one at a time and counted per disk and type.
class AlertExec {
 public:
  AlertExec(std::string program, MessageSink log, TrustedRunLimits limits = {});
  AlertExec(const AlertExec&) = delete;
  AlertExec& operator=(const AlertExec&) = delete;

  // Runs the program for `mail`, the alert mail sent at `now`; a requested `stop` ends it.
  void Run(const WatchMail& mail, const AlertSettings& settings, const std::string& host,
           WallClock::time_point now, std::stop_token stop = {});

 private:
  struct Problem {
    std::int64_t first = 0;
    int runs = 0;
  };
  const std::string program_;
  const MessageSink log_;
  const TrustedRunLimits limits_;
  std::mutex running_;                       // one run at a time
  std::map<std::string, Problem> problems_;  // by disk and failure type, since the start
};

}  // namespace ds
