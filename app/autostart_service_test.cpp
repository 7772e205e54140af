#include "app/autostart_service.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
  struct Case {
    std::string path;
    bool ok;
    std::string execStart;
  };
  const Case cases[] = {
      {"/opt/ds/drivesentinel", true, "ExecStart=\"/opt/ds/drivesentinel\" /autostart"},
      {"/opt/my ds/drivesentinel", true, "ExecStart=\"/opt/my ds/drivesentinel\" /autostart"},
      {"/opt/100%/$HOME/a\"b\\c", true, "ExecStart=\"/opt/100%%/$$HOME/a\\\"b\\\\c\" /autostart"},
      {"relative/drivesentinel", false, ""},
      {"", false, ""},
      {"/opt/x\nExecStartPre=/bin/rm -rf /", false, ""},
      {"/opt/x\rUser=nobody", false, ""}};
  for (const Case& c : cases) {
    std::string unit;
    EXPECT_EQ(ServiceUnitText(c.path, &unit), c.ok) << c.path;
    if (!c.ok)
      continue;
    EXPECT_EQ(ExecStartOf(unit), c.execStart);
    EXPECT_NE(unit.find("User=root\n"), std::string::npos);
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
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
  struct Case {
    std::string packagedExec;  // "" when no package brought a unit
    bool ownUnitBefore = false;
    bool systemd = true;
    int exitCode = 0;         // of systemctl
    bool localFolder = true;  // false: the local unit folder is missing
    bool ok;
    std::vector<std::string> runs;
    const char* said;  // part of the message
  };
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
  for (const Case& c : cases) {
    TempFolder root;
    std::filesystem::create_directory(root.path() + "packaged");
    if (c.localFolder)
      std::filesystem::create_directory(root.path() + "local");
    ServiceUnitFolders folders{root.path() + "packaged/", root.path() + "local/"};
    if (!c.packagedExec.empty())
      std::ofstream(folders.packaged + kServiceName) << "ExecStart=" << c.packagedExec << " /a\n";
    if (c.ownUnitBefore)
      std::ofstream(folders.local + kServiceName) << ownUnit;
    RecordingLauncher launcher;
    launcher.exitCode = c.exitCode;
    std::string message;
    EXPECT_EQ(InstallAutostartService(program, folders, c.systemd, launcher, &message), c.ok);
    EXPECT_NE(message.find(c.said), std::string::npos) << message;
    EXPECT_EQ(message.find("takes its place") != std::string::npos, c.ownUnitBefore) << message;
    EXPECT_EQ(launcher.runs, c.runs) << message;
    std::stringstream local;
    local << std::ifstream(folders.local + kServiceName).rdbuf();
    const bool written = !c.runs.empty() && c.runs[0] == "systemctl daemon-reload";
    EXPECT_EQ(written ? ExecStartOf(local.str()) : local.str(),
              written           ? "ExecStart=\"" + program + "\" /autostart"
              : c.ownUnitBefore ? ownUnit
                                : "")
        << message;
  }
}

}  // namespace
}  // namespace ds
