#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include <sys/types.h>

// Running a program the administrator named (an alert hook) as root, safely. The program is
// opened once without following links, one folder at a time from "/" down; that descriptor
// is checked (the file and every folder above it owned by root, no symbolic link among them,
// neither group nor others may write the file or a folder, unless the folder is sticky as
// /tmp) and then executed itself (execveat with AT_EMPTY_PATH), so nothing can be swapped in
// between the check and the run. The program gets only the environment given, the given
// input (or /dev/null) and nothing else open but its output channel (a script also sees its
// own file as descriptor 3, which its interpreter reads). It leads a process group of its
// own, which is killed whole at the time limit; its output is kept up to a cap.
namespace ds {

struct TrustedRunLimits {
  std::chrono::milliseconds timeout{30000};
  std::size_t outputCap = 64 * 1024;
  uid_t owner = 0;  // whose files and folders are trusted besides root's (tests: their own)
};

struct TrustedRunResult {
  bool started = false;
  bool timedOut = false;  // killed at the limit, with its process group
  bool stopped = false;   // killed the same way because `stop` was requested
  int exitCode = -1;      // 0-255 when it exited by itself, -1 otherwise
  int processGroup = -1;
  std::string output;  // standard output and error together, at most outputCap bytes
  bool outputCut = false;
  std::string why;  // why it was refused or could not start
};

// Opens `path` for TrustedRunLimits' checks; an O_PATH descriptor, or -1 with `why`.
int OpenTrustedProgram(const std::string& path, uid_t owner, std::string* why);

// Runs the program at `path` with `args` after argv[0] (which is `path`), exactly the
// environment `env` ("NAME=value" items) and `input` on its standard input (none: /dev/null),
// and waits for it and every process that holds its output, up to the limit or `stop`.
TrustedRunResult RunTrustedProgram(const std::string& path, const std::vector<std::string>& args,
                                   const std::vector<std::string>& env,
                                   const std::optional<std::string>& input,
                                   const TrustedRunLimits& limits, std::stop_token stop = {});

}  // namespace ds
