#include "platform/trusted_program.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ds {
namespace {

// One open descriptor, closed at scope end.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset(int fd = -1) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

std::string ErrnoText(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

const char* Problem(const struct stat& status, bool file, uid_t owner) {
  const bool othersWrite = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (S_ISLNK(status.st_mode))
    return "is a symbolic link";
  if (status.st_uid != 0 && status.st_uid != owner)
    return "is not owned by root";
  if (file && !S_ISREG(status.st_mode))
    return "is not a regular file";
  if (file && othersWrite)
    return "is writable by group or others";
  if (file && (status.st_mode & S_IXUSR) == 0)
    return "is not executable";
  if (!file && !S_ISDIR(status.st_mode))
    return "is not a folder";
  if (!file && othersWrite && (status.st_mode & S_ISVTX) == 0)
    return "is a folder that group or others may write";
  return nullptr;
}

// The child's side between fork and exec: only async-signal-safe calls. Every descriptor it
// needs is first moved above 9, so placing them on 0-3 cannot overwrite one another.
[[noreturn]] void BecomeProgram(int input, int output, int program, char* const* argv,
                                char* const* envp) {
  ::setpgid(0, 0);
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal)
    ::sigaction(signal, &plain, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  const int in = ::fcntl(input, F_DUPFD, 10), out = ::fcntl(output, F_DUPFD, 10),
            self = ::fcntl(program, F_DUPFD, 10);
  if (in < 0 || out < 0 || self < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
      ::dup2(out, 2) < 0 || ::dup2(self, 3) < 0 || ::close_range(4, ~0U, 0) != 0) {
    ::_exit(127);
  }
  // Descriptor 3 stays open: a script's interpreter reads the script through /dev/fd/3.
  ::syscall(SYS_execveat, 3, "", argv, envp, AT_EMPTY_PATH);
  ::_exit(127);
}

std::vector<char*> Pointers(const std::vector<std::string>& items) {
  std::vector<char*> pointers;
  for (const std::string& item : items)
    pointers.push_back(const_cast<char*>(item.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

int OpenTrustedProgram(const std::string& path, uid_t owner, std::string* why) {
  if (path.empty() || path.front() != '/' || path.back() == '/') {
    *why = path + " is no absolute path of a file";
    return -1;
  }
  Fd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::string walked = "/";
  std::size_t start = 1;
  for (;;) {
    struct stat status {};
    const bool file = start > path.size();
    if (current.get() < 0 || ::fstat(current.get(), &status) != 0) {
      *why = ErrnoText("cannot open " + walked);
      return -1;
    }
    if (const char* problem = Problem(status, file, owner)) {
      *why = walked + " " + problem;
      return -1;
    }
    if (file)
      return current.Release();
    std::size_t end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") {
      *why = path + " is no plain path (an empty, \".\" or \"..\" part)";
      return -1;
    }
    walked = path.substr(0, end);
    current.Reset(::openat(current.get(), part.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    start = end + 1;
  }
}

TrustedRunResult RunTrustedProgram(const std::string& path, const std::vector<std::string>& args,
                                   const std::vector<std::string>& env,
                                   const std::optional<std::string>& input,
                                   const TrustedRunLimits& limits, std::stop_token stop) {
  TrustedRunResult result;
  const Fd program(OpenTrustedProgram(path, limits.owner, &result.why));
  if (program.get() < 0)
    return result;
  // A socket carries the input: a send to a program that stopped reading raises no SIGPIPE.
  int ends[2] = {-1, -1}, pipeEnds[2] = {-1, -1};
  if (input ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0
            : (ends[1] = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) < 0) {
    result.why = ErrnoText("cannot make the program's input");
    return result;
  }
  Fd feed(input ? ends[0] : -1), childIn(ends[1]);
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
    result.why = ErrnoText("cannot make the program's output");
    return result;
  }
  Fd drain(pipeEnds[0]), childOut(pipeEnds[1]);
  std::vector<std::string> argv = {path};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::vector<char*> argvPointers = Pointers(argv), envPointers = Pointers(env);

  const pid_t pid = ::fork();
  if (pid < 0) {
    result.why = ErrnoText("cannot start " + path);
    return result;
  }
  if (pid == 0)
    BecomeProgram(childIn.get(), childOut.get(), program.get(), argvPointers.data(),
                  envPointers.data());
  ::setpgid(pid, pid);  // also here, so the group exists before any kill below
  result.started = true;
  result.processGroup = pid;
  childIn.Reset(), childOut.Reset();
  ::fcntl(drain.get(), F_SETFL, O_NONBLOCK);
  std::size_t sent = 0;
  if (!input || input->empty())
    feed.Reset();

  const auto deadline = std::chrono::steady_clock::now() + limits.timeout;
  bool exited = false;
  for (;;) {
    int status = 0;
    if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (exited && drain.get() < 0)
      break;  // ended, and nothing holds its output any more
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || stop.stop_requested()) {
      ::kill(-pid, SIGKILL);
      (left.count() <= 0 ? result.timedOut : result.stopped) = true;
      while (!exited && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    pollfd watched[2] = {{drain.get(), POLLIN, 0}, {feed.get(), POLLOUT, 0}};
    ::poll(watched, 2, static_cast<int>(std::min<long long>(left.count(), 20)));
    if (watched[0].revents != 0) {
      char buffer[4096];
      const ssize_t got = ::read(drain.get(), buffer, sizeof buffer);
      if (got > 0) {
        const std::size_t room = limits.outputCap - result.output.size();
        result.output.append(buffer, std::min(room, static_cast<std::size_t>(got)));
        result.outputCut = result.outputCut || static_cast<std::size_t>(got) > room;
      } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        drain.Reset();
      }
    }
    if (watched[1].revents != 0) {
      const ssize_t put = ::send(feed.get(), input->data() + sent, input->size() - sent,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put > 0)
        sent += static_cast<std::size_t>(put);
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || sent == input->size())
        feed.Reset();  // all given, or no longer read: the program sees the end
    }
  }
  return result;
}

}  // namespace ds
