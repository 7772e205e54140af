#pragma once

#include <string>
#include <vector>

// The command line of the program:
//   drivesentinel [--demo | --sim DIR] [--home DIR] [--port N] [--bind ADDR]
//                 [--headless | --open] [/autostart]
// and the logon-start switch "/autostart", which counts only as the whole command line.
namespace ds {

enum class DiskSource { kRealDisks, kDemo, kSimulated };

struct RunOptions {
  DiskSource source = DiskSource::kRealDisks;
  std::string simFolder;  // --sim DIR
  std::string home;       // --home DIR, with a trailing "/"; "" = the program folder
  int port = 0;           // 0 picks a free port
  std::string bindAddress = "127.0.0.1";
  bool open = false;             // --open: show the window in the user's browser
  bool autostartLaunch = false;  // the command line is exactly "/autostart"
};

// True exactly when `args` (the arguments after the program name) is the one argument
// "/autostart": case, blanks and further arguments all make it false.
bool IsAutostartCommandLine(const std::vector<std::string>& args);

// False with `message` set for an unknown argument, a missing or bad value, or
// contradicting switches.
bool ParseRunOptions(const std::vector<std::string>& args, RunOptions* options,
                     std::string* message);

inline constexpr const char* kUsage =
    "usage: drivesentinel [--demo | --sim DIR] [--home DIR] [--port N] [--bind ADDR] "
    "[--headless | --open]\n";

}  // namespace ds
