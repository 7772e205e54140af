#pragma once

#include <chrono>
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

// One started program that is fed bytes on its standard input and waited for with a
// time-out. The handle owns the child: destroying it kills a child still running and always
// reaps it, so no child outlives its handle or lingers as a zombie.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program at the path argv[0] (no PATH look-up) with `input` on its standard
  // input, then end of file. Its output goes where ours does; it inherits no other open
  // descriptor. False, with `message` set, when it could not be started.
  bool Start(const std::vector<std::string>& argv, std::string input, std::string* message);

  // Waits up to `timeout` (zero: just looks) for the program to end, feeding it the rest
  // of its input meanwhile. True once it has ended.
  bool WaitFor(std::chrono::milliseconds timeout);

  // Ends a program that is still running (SIGKILL) and reaps it.
  void Kill();

  bool started() const { return pid_ > 0; }
  bool ended() const { return ended_; }
  // 0-255 once the program exited by itself; -1 while it runs or when a signal ended it.
  int exitCode() const { return exitCode_; }
  int pid() const { return pid_; }

 private:
  void FeedInput();
  void CloseInput();
  void Release();

  int pid_ = -1;
  bool ended_ = false;
  int exitCode_ = -1;
  int inputFd_ = -1;
  std::string input_;
  std::size_t inputSent_ = 0;
};

}  // namespace ds
