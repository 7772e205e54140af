#pragma once

#include <string>
#include <vector>

#include "cli/machine_opener.h"

// The command line of the window:
//   drivesentinel [--demo | --sim DIR] [--home DIR] [--port N] [--bind ADDR]
//                 [--headless | --open] [--metrics-listen ADDR:PORT]
//                 [--allow-host NAME]... [--tls-cert FILE --tls-key FILE]
// and the logon-start switch "/autostart", which counts only as the whole command line.
namespace ds {

struct RunOptions {
  MachineOptions machine;
  int port = 0;  // 0 picks a free port
  std::string bindAddress = "127.0.0.1";
  bool open = false;             // --open: show the window in the user's browser
  bool autostartLaunch = false;  // the command line is exactly "/autostart"
  // --monitor-period SECONDS (not in the usage text; for tests): the monitor's pass period.
  int monitorPeriodSeconds = 600;
  std::string metricsListen;            // --metrics-listen ADDR:PORT: the Prometheus endpoint
  std::vector<std::string> allowHosts;  // --allow-host NAME, repeatable
  std::string tlsCertFile;              // --tls-cert FILE and --tls-key FILE, both or neither
  std::string tlsKeyFile;
};

// True exactly when `args` (the arguments after the program name) is the one argument
// "/autostart": case, blanks and further arguments all make it false.
bool IsAutostartCommandLine(const std::vector<std::string>& args);

// False with `message` set for an unknown argument, a missing or bad value, or
// contradicting switches.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options,
                     std::string* message);

}  // namespace ds
