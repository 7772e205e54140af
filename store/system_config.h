#pragma once

#include <string>
#include <string_view>
#include <vector>

// The administrator's configuration /etc/norvik-drivesentinel/drivesentinel.conf, a conffile
// of the package that upgrades keep: key=value lines as the program's ini file has them. It
// ranks below the command line and above the ini file beside the program. Keys:
//   Metrics_Listen=ADDR:PORT   the Prometheus endpoint
//   Metrics_Allow_Host=NAME    a further Host name the endpoint answers to; the key may be
//                              given several times, each value a list split at commas and
//                              blanks
//   Home_Folder=/FOLDER        where the program keeps what it writes
//   Ignore_Serial=SERIAL       disks the monitor leaves out of alerts, history and mails
//                              (the pages still show them); the key may be given several
//                              times, each value a list split at commas (a serial may hold
//                              blanks)
//   SelfTest_Short=weekly Sun 03, SelfTest_Long=monthly 1 04
//                              when the monitor runs self-tests (selftest_schedule.h)
//   Alert_Exec=/PROGRAM        the alert hook run once per alert mail (monitor/alert_exec.h);
//                              only this file names it, nothing the window can write
// The file counts only when no one but root can change it (platform/file_system.h says
// how that is checked); otherwise it is ignored, and the reader says why.
namespace ds {

inline constexpr const char* kSystemConfigFile = "/etc/norvik-drivesentinel/drivesentinel.conf";

struct SystemConfig {
  std::string metricsListen;  // "" when absent
  std::vector<std::string> metricsAllowHosts;
  std::string homeFolder;                   // "" when absent
  std::vector<std::string> ignoredSerials;  // trimmed, none empty
  std::string selfTestShort;                // "" when absent; ParseSelfTestRule reads them
  std::string selfTestLong;
  std::string alertExec;  // "" when absent
};

// The items of a list value: split at commas and line breaks (a repeated key's values are
// joined by one), each trimmed, empty ones left out.
std::vector<std::string> SerialList(std::string_view value);

// True when `serial` (IDENTIFY's text; compared trimmed, case and all) is in `ignored`.
bool IsSerialIgnored(const std::vector<std::string>& ignored, std::string_view serial);

// Reads the file at `path`. A missing file gives an empty configuration and leaves `why`
// alone; a file that cannot be trusted or read gives an empty one with `why` set.
SystemConfig ReadSystemConfig(const std::string& path, std::string* why);

}  // namespace ds
