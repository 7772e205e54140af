#pragma once

#include <string>
#include <vector>

// Starting other programs: always with an argument vector, never through a shell, so no
// text of a disk, a file or a user is ever interpreted as a command.
namespace ds {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Runs argv[0] (looked up on PATH) and waits; its exit code, or -1 when it could not be
  // started or did not exit normally.
  virtual int Run(const std::vector<std::string>& argv) = 0;
  // Starts argv[0] without waiting; false when it could not be started.
  virtual bool Start(const std::vector<std::string>& argv) = 0;
};

// The real launcher (posix_spawn); the child's standard input is /dev/null.
class SpawnLauncher : public ProcessLauncher {
 public:
  int Run(const std::vector<std::string>& argv) override;
  bool Start(const std::vector<std::string>& argv) override;
};

}  // namespace ds
