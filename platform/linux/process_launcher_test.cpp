#include "platform/process_launcher.h"

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using std::chrono::milliseconds;

// True when `pid` is neither running nor waiting to be reaped by this process.
bool Gone(int pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == -1 && errno == ECHILD && ::kill(pid, 0) == -1;
}

TEST(ChildProcessTest, FeedsTheInputReportsTheExitAndPassesNoOtherDescriptor) {
  TempFolder folder;
  std::string out = folder.path() + "out", large(3u << 20, 'x');  // more than a socket buffer
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // inheritable: no close-on-exec
  const std::string fdsOpen = "for fd in " + std::to_string(fds[0]) + " " + std::to_string(fds[1]) +
                              "; do [ -e /proc/$$/fd/$fd ] && exit 9; done; [ -e /proc/$$/fd/0 ]";
  const std::tuple<std::string, std::string, int, std::string> cases[] = {
      {"cat > " + out, std::string("a\0b c\"d\0", 8), 0, std::string("a\0b c\"d\0", 8)},
      {"cat > " + out, large, 0, large},
      {"rm -f " + out + "; exit 5", large, 5, "<missing>"},  // never reads: no SIGPIPE here
      {fdsOpen, "", 0, "<missing>"}};
  for (const auto& [script, input, exitCode, output] : cases) {
    ChildProcess child;
    std::string message, content;
    ASSERT_TRUE(child.Start({"/bin/sh", "-c", script}, input, &message)) << message;
    ASSERT_TRUE(child.WaitFor(milliseconds(20000))) << script;
    EXPECT_EQ(child.exitCode(), exitCode) << script;
    if (!ReadWholeFile(out, 8u << 20, &content, &message))
      content = "<missing>";
    EXPECT_TRUE(content == output && Gone(child.pid())) << script;
  }
  ::close(fds[0]), ::close(fds[1]);
}

TEST(ChildProcessTest, TimeOutThenKill) {
  ChildProcess child;
  std::string message;
  ASSERT_TRUE(child.Start({"/bin/sh", "-c", "exec sleep 30"}, "", &message)) << message;
  EXPECT_FALSE(child.WaitFor(milliseconds(50)));
  child.Kill();
  EXPECT_TRUE(child.ended() && child.exitCode() == -1 && Gone(child.pid()));
}

TEST(ChildProcessTest, StartsOnlyWhatCanRun) {
  TempFolder folder;
  std::string plain = folder.path() + "plain", message;
  ASSERT_TRUE(ReplaceFileAtomically(plain, "#!/bin/sh\n", FileAccess::kShared, &message));
  const std::vector<std::string> refused[] = {{}, {folder.path() + "missing"}, {"sh"}, {plain}};
  for (const auto& argv : refused) {
    ChildProcess child;
    message.clear();
    EXPECT_FALSE(child.Start(argv, "input", &message) || message.empty() || child.started());
  }
}

}  // namespace
}  // namespace ds
