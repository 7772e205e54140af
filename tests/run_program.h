#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace ds {

// Runs argv (no shell); its exit status (-1 when it did not start), its standard output in
// `output`.
inline int RunProgram(const std::vector<std::string>& argv, std::string* output) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0)
    return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> args;
  for (const std::string& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  output->clear();
  char buffer[4096];
  for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    output->append(buffer, static_cast<std::size_t>(got));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The first sheet of an .xls file as xlrd reads it: its name, then one TAB-joined line per row.
inline std::string ReadWorkbookWithXlrd(const std::string& path) {
  static const char* const kScript =
      "import sys, xlrd\n"
      "sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
      "print(sheet.name)\n"
      "for r in range(sheet.nrows): print('\\t'.join(str(c.value) for c in sheet.row(r)))\n";
  std::string output;
  if (RunProgram({"/usr/bin/python3", "-c", kScript, path}, &output) != 0)
    return "<xlrd failed>";
  return output;
}

}  // namespace ds
