#include "platform/trusted_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/temp_folder.h"

namespace ds {
namespace {

using std::chrono::milliseconds;

std::string Script(const std::string& path, const std::string& body, mode_t mode = 0700) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  ::chmod(path.c_str(), mode);
  return path;
}

// True once `pid` has ended: gone, or a zombie its new parent has not reaped yet.
bool Ended(int pid) {
  for (int tries = 0; tries < 500; ++tries) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.substr(line.rfind(')') + 2, 1) == "Z")
      return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

// The test's own files stand for root's.
TrustedRunLimits Mine(milliseconds timeout = milliseconds(20000), std::size_t cap = 65536) {
  return {timeout, cap, ::getuid()};
}

TEST(TrustedProgramTest, RefusesWhatOthersCouldChange) {
  TempFolder folder;
  const std::string shared = folder.path() + "shared/", good = folder.path() + "good";
  std::filesystem::create_directory(shared);
  ::chmod(shared.c_str(), 0770);
  Script(shared + "hook", "exit 0");
  Script(good, "exit 4");
  Script(folder.path() + "wide", "exit 0", 0720);
  std::filesystem::create_symlink(good, folder.path() + "link");
  std::filesystem::create_directory_symlink(folder.path(), folder.path() + "up");
  const std::pair<std::string, std::string> refused[] = {
      {shared + "hook", "shared is a folder that group or others may write"},
      {folder.path() + "link", "link is a symbolic link"},
      {folder.path() + "up/good", "up is a symbolic link"},
      {folder.path() + "wide", "wide is writable by group or others"},
      {folder.path() + "../good", "no plain path"},
      {"good", "no absolute path"},
  };
  for (const auto& [path, why] : refused) {
    const TrustedRunResult run = RunTrustedProgram(path, {}, {}, std::nullopt, Mine());
    EXPECT_TRUE(!run.started && run.why.find(why) != std::string::npos) << path << ": " << run.why;
  }
  EXPECT_EQ(RunTrustedProgram(good, {}, {}, std::nullopt, Mine()).exitCode, 4);
  // By default only root's files count (a test run by root gives its file away).
  ASSERT_TRUE(::getuid() != 0 || ::chown(good.c_str(), 65534, 65534) == 0);
  EXPECT_NE(RunTrustedProgram(good, {}, {}, {}, {}).why.find("is not owned by root"),
            std::string::npos);
}

TEST(TrustedProgramTest, KillsAHangingProgramWithItsChildrenAndCapsItsOutput) {
  TempFolder folder;
  const std::string pidFile = folder.path() + "pid";
  const std::string hang =
      Script(folder.path() + "hang", "sleep 100 &\necho $! > " + pidFile + "\nsleep 100");
  const TrustedRunResult hung = RunTrustedProgram(hang, {}, {}, {}, Mine(milliseconds(2000)));
  int child = -1;
  std::ifstream(pidFile) >> child;
  EXPECT_TRUE(hung.timedOut && hung.exitCode == -1 && child > 0 && Ended(hung.processGroup) &&
              Ended(child));

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // inheritable, yet not passed on
  const std::string loud = Script(
      folder.path() + "loud", "[ -e /proc/$$/fd/" + std::to_string(fds[1]) +
                                  " ] && exit 9\nprintf 'a\\tb\\n' >&2\nhead -c 99999 /dev/zero");
  const TrustedRunResult run = RunTrustedProgram(loud, {}, {}, {}, Mine(milliseconds(20000), 100));
  ::close(fds[0]), ::close(fds[1]);
  EXPECT_TRUE(!run.timedOut && run.exitCode == 0 && run.outputCut &&
              run.output == "a\tb\n" + std::string(96, '\0'))
      << run.exitCode << " " << run.output.size();
}

}  // namespace
}  // namespace ds
