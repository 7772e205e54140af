#include "platform/process_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace ds {
namespace {

pid_t SpawnChild(const std::vector<std::string>& argv) {
  if (argv.empty())
    return -1;
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = -1;
  int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? pid : -1;
}

}  // namespace

int SpawnLauncher::Run(const std::vector<std::string>& argv) {
  pid_t pid = SpawnChild(argv);
  if (pid < 0)
    return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool SpawnLauncher::Start(const std::vector<std::string>& argv) {
  pid_t pid = SpawnChild(argv);
  if (pid < 0)
    return false;
  // Reap the child when it ends so it never lingers as a zombie.
  std::thread([pid] {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }).detach();
  return true;
}

ChildProcess::~ChildProcess() {
  Release();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      ended_(std::exchange(other.ended_, false)),
      exitCode_(std::exchange(other.exitCode_, -1)),
      inputFd_(std::exchange(other.inputFd_, -1)),
      input_(std::move(other.input_)),
      inputSent_(std::exchange(other.inputSent_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Release();
    pid_ = std::exchange(other.pid_, -1);
    ended_ = std::exchange(other.ended_, false);
    exitCode_ = std::exchange(other.exitCode_, -1);
    inputFd_ = std::exchange(other.inputFd_, -1);
    input_ = std::move(other.input_);
    inputSent_ = std::exchange(other.inputSent_, 0);
  }
  return *this;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, std::string input,
                         std::string* message) {
  Release();
  if (argv.empty() || argv[0].empty()) {
    *message = "no program given";
    return false;
  }
  // A socket rather than a pipe carries the input: sending with MSG_NOSIGNAL to a child
  // that ended without reading cannot raise SIGPIPE in this process.
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    *message = std::string("cannot create the input channel: ") + std::strerror(errno);
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  // Sockets, locks and files of this process stay here.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = -1;
  int result = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (result != 0) {
    ::close(ends[0]);
    *message = "cannot start " + argv[0] + ": " + std::strerror(result);
    return false;
  }
  pid_ = pid;
  ended_ = false;
  exitCode_ = -1;
  inputFd_ = ends[0];
  input_ = std::move(input);
  inputSent_ = 0;
  FeedInput();
  return true;
}

void ChildProcess::FeedInput() {
  while (inputFd_ >= 0 && inputSent_ < input_.size()) {
    ssize_t sent = ::send(inputFd_, input_.data() + inputSent_, input_.size() - inputSent_,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      inputSent_ += static_cast<std::size_t>(sent);
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // the child has not read enough yet
    } else {
      break;  // the child closed its input: the rest is dropped
    }
  }
  if (inputFd_ >= 0)
    CloseInput();  // all sent (or no longer wanted): the child sees end of file
}

void ChildProcess::CloseInput() {
  if (inputFd_ >= 0)
    ::close(inputFd_);
  inputFd_ = -1;
  input_.clear();
  inputSent_ = 0;
}

bool ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  if (!started() || ended_)
    return ended_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    FeedInput();
    int status = 0;
    pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) {
      ended_ = true;
      exitCode_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      CloseInput();
      return true;
    }
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds(0))
      return false;
    int step = static_cast<int>(std::min<long long>(left.count(), 5));
    if (inputFd_ >= 0) {
      pollfd writable = {inputFd_, POLLOUT, 0};
      ::poll(&writable, 1, step);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(step));
    }
  }
}

void ChildProcess::Kill() {
  if (!started() || ended_)
    return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  pid_t done;
  while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  ended_ = true;
  exitCode_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  CloseInput();
}

void ChildProcess::Release() {
  Kill();
  CloseInput();
  pid_ = -1;
  ended_ = false;
  exitCode_ = -1;
}

}  // namespace ds
