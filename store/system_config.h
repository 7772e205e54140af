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
//   Alert_SelfTest=off         no mail when a self-test fails (default on)
//   Alert_ErrorLog=off         no mail when the disk's error log count rises (default on)
//   Alert_Attributes=5,197     the attributes among 5, 196, 197, 198 and 199 whose raw value
//                              rising is mailed (default all five; "off" for none)
// The file counts only when no one but root can change it (platform/file_system.h says
// how that is checked); otherwise it is ignored, and the reader says why.
namespace ds {

// Which alerts on change the monitor mails (besides the alert rules), when alerts are on.
struct ChangeAlertSwitches {
  bool selfTest = true;                                   // a self-test that failed
  bool errorLog = true;                                   // the error log count rising
  std::vector<int> attributes = {5, 196, 197, 198, 199};  // raw values rising, by id

  bool operator==(const ChangeAlertSwitches&) const = default;
};

// The switches of the three keys' values: "off", "no" or "0" (any case) turns one off, any
// other value or none leaves it on; the attribute list keeps those of the five it names
// (split at commas and blanks).
ChangeAlertSwitches ParseChangeAlertSwitches(std::string_view selfTest, std::string_view errorLog,
                                             std::string_view attributes);

inline constexpr const char* kSystemConfigFile = "/etc/norvik-drivesentinel/drivesentinel.conf";

struct SystemConfig {
  std::string metricsListen;  // "" when absent
  std::vector<std::string> metricsAllowHosts;
  std::string homeFolder;                   // "" when absent
  std::vector<std::string> ignoredSerials;  // trimmed, none empty
  std::string selfTestShort;                // "" when absent; ParseSelfTestRule reads them
  std::string selfTestLong;
  std::string alertExec;  // "" when absent
  ChangeAlertSwitches changeAlerts;
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
