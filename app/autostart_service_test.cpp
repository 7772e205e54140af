#include "app/autostart_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

class RecordingLauncher : public ProcessLauncher {
 public:
  int Run(const std::vector<std::string>& argv) override {
    runs.push_back(argv.empty() ? "" : argv[0]);
    for (std::size_t i = 1; i < argv.size(); ++i)
      runs.back() += " " + argv[i];
    return exitCode;
  }
  bool Start(const std::vector<std::string>&) override { return true; }
  std::vector<std::string> runs;
  int exitCode = 0;
};

std::string ExecStartOf(const std::string& unit) {
  const std::size_t at = unit.find("\nExecStart=");
  return at == std::string::npos ? "" : unit.substr(at + 1, unit.find('\n', at + 1) - at - 1);
}

TEST(AutostartServiceTest, UnitQuotesThePathSafely) {
  // The program's path and the ExecStart line of its unit, "" when refused.
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/ds/drivesentinel", "ExecStart=\"/opt/ds/drivesentinel\" /autostart"},
      {"/opt/my ds/drivesentinel", "ExecStart=\"/opt/my ds/drivesentinel\" /autostart"},
      {"/opt/100%/$HOME/a\"b\\c", "ExecStart=\"/opt/100%%/$$HOME/a\\\"b\\\\c\" /autostart"},
      {"relative/drivesentinel", ""},
      {"", ""},
      {"/opt/x\nExecStartPre=/bin/rm -rf /", ""},
      {"/opt/x\rUser=nobody", ""}};
  for (const auto& [path, execStart] : cases) {
    std::string unit;
    EXPECT_EQ(ServiceUnitText(path, &unit), !execStart.empty()) << path;
    if (execStart.empty())
      continue;
    EXPECT_EQ(ExecStartOf(unit), execStart);
    EXPECT_TRUE(unit.find("User=root\n") != std::string::npos &&
                unit.find("WantedBy=multi-user.target\n") != std::string::npos);
  }
}

TEST(AutostartServiceTest, UnitStartsProgramReadsTheFirstWordOfExecStart) {
  const std::string program = "/usr/lib/norvik-drivesentinel/drivesentinel";
  const std::pair<std::string, bool> cases[] = {
      {"[Service]\nExecStart=" + program + " /autostart\n", true},
      {"[Service]\nExecStart=\"" + program + "\" /autostart\n", true},
      {"ExecStart=\"/usr/lib/norvik-drivesentinel/drive\\sentinel\"\n", true},  // "\\s" is "s"
      {"  ExecStart = " + program + "\n", false},                               // not the key
      {"ExecStart=" + program + "-old /autostart\n", false},
      {"ExecStart=/usr/lib/norvik-drivesentinel\n", false},
      {"ExecStartPre=" + program + "\n", false},
      {"", false}};
  for (const auto& [unit, starts] : cases)
    EXPECT_EQ(UnitStartsProgram(unit, program), starts) << unit;
}

// The packaged unit is enabled when it starts this program, else one of our own is written.
TEST(AutostartServiceTest, InstallsOrEnablesTheUnitAndSaysWhatHappened) {
  const std::string program = "/usr/lib/norvik-drivesentinel/drivesentinel";
  const std::string ownUnit = "[Service]\nExecStart=/opt/x /autostart\n";
  const std::vector<std::string> enable = {"systemctl enable norvik-drivesentinel.service"};
  const std::vector<std::string> reloadAndEnable = {"systemctl daemon-reload", enable[0]};
  // Packaged unit's program, own unit before, systemd, exit code, local folder; ok, runs, said.
  using Case =
      std::tuple<std::string, bool, bool, int, bool, bool, std::vector<std::string>, const char*>;
  const Case cases[] = {
      {program, false, true, 0, true, true, enable, "packaged norvik-drivesentinel.service is"},
      {program, true, true, 0, true, true, enable, "takes its place"},
      {"/usr/lib/other/drivesentinel", false, true, 0, true, true, reloadAndEnable, "is enabled"},
      {"", false, true, 0, true, true, reloadAndEnable, "is enabled"},
      {"", false, false, 0, true, false, {}, "systemd is not running"},
      {"", false, true, 1, true, false, {"systemctl daemon-reload"}, "could not enable"},
      {program, false, true, 1, true, false, enable, "could not enable"},
      {"", false, true, 0, false, false, {}, "cannot write"},
  };
  for (const auto& [packagedExec, ownUnitBefore, systemd, exitCode, localFolder, ok, runs, said] :
       cases) {
    TempFolder root;
    std::filesystem::create_directory(root.path() + "packaged");
    if (localFolder)
      std::filesystem::create_directory(root.path() + "local");
    ServiceUnitFolders folders{root.path() + "packaged/", root.path() + "local/"};
    if (!packagedExec.empty())
      std::ofstream(folders.packaged + kServiceName) << "ExecStart=" << packagedExec << " /a\n";
    if (ownUnitBefore)
      std::ofstream(folders.local + kServiceName) << ownUnit;
    RecordingLauncher launcher;
    launcher.exitCode = exitCode;
    std::string message;
    EXPECT_EQ(InstallAutostartService(program, folders, systemd, launcher, &message), ok);
    EXPECT_NE(message.find(said), std::string::npos) << message;
    EXPECT_EQ(message.find("takes its place") != std::string::npos, ownUnitBefore) << message;
    EXPECT_EQ(launcher.runs, runs) << message;
    const std::string local = ReadTextFile(folders.local + kServiceName);
    const bool written = !runs.empty() && runs[0] == "systemctl daemon-reload";
    EXPECT_EQ(written ? ExecStartOf(local) : local,
              written ? "ExecStart=\"" + program + "\" /autostart" : (ownUnitBefore ? ownUnit : ""))
        << message;
  }
}

}  // namespace
}  // namespace ds
