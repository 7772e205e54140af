#include "platform/process_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

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

}  // namespace ds
