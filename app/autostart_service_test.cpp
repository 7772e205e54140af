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
    std::string line;
    for (const auto& arg : argv)
      line += (line.empty() ? "" : " ") + arg;
    runs.push_back(line);
    return exitCode;
  }
  bool Start(const std::vector<std::string>&) override { return true; }
  std::vector<std::string> runs;
  int exitCode = 0;
};

std::string ExecStartOf(const std::string& unit) {
  std::istringstream lines(unit);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("ExecStart=", 0) == 0)
      return line;
  }
  return "";
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
      {"/opt/x\rUser=nobody", false, ""},
  };
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

// Empty unit folders "packaged/" and "local/" in `root`.
ServiceUnitFolders FoldersIn(const TempFolder& root) {
  std::filesystem::create_directory(root.path() + "packaged");
  std::filesystem::create_directory(root.path() + "local");
  ServiceUnitFolders folders;
  folders.packaged = root.path() + "packaged/";
  folders.local = root.path() + "local/";
  return folders;
}

TEST(AutostartServiceTest, InstallsAndEnablesWhereSystemdRuns) {
  TempFolder root;
  const ServiceUnitFolders folders = FoldersIn(root);
  RecordingLauncher launcher;
  std::string message;
  ASSERT_TRUE(InstallAutostartService("/opt/ds/drivesentinel", folders, true, launcher, &message));
  EXPECT_EQ(launcher.runs,
            (std::vector<std::string>{"systemctl daemon-reload",
                                      "systemctl enable norvik-drivesentinel.service"}));
  std::ifstream unit(folders.local + kServiceName);
  std::stringstream text;
  text << unit.rdbuf();
  EXPECT_EQ(ExecStartOf(text.str()), "ExecStart=\"/opt/ds/drivesentinel\" /autostart");
}

TEST(AutostartServiceTest, SaysWhatHappenedWhereItCannotInstall) {
  TempFolder root;
  ServiceUnitFolders folders = FoldersIn(root);
  RecordingLauncher launcher;
  std::string message;
  EXPECT_FALSE(
      InstallAutostartService("/opt/ds/drivesentinel", folders, false, launcher, &message));
  EXPECT_NE(message.find("systemd is not running"), std::string::npos);
  EXPECT_TRUE(launcher.runs.empty());

  launcher.exitCode = 1;
  EXPECT_FALSE(InstallAutostartService("/opt/ds/drivesentinel", folders, true, launcher, &message));
  EXPECT_NE(message.find("could not enable"), std::string::npos);

  folders.local = root.path() + "missing/";
  EXPECT_FALSE(InstallAutostartService("/opt/ds/drivesentinel", folders, true, launcher, &message));
  EXPECT_NE(message.find("cannot write"), std::string::npos);
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
      {"", false},
  };
  for (const auto& [unit, starts] : cases)
    EXPECT_EQ(UnitStartsProgram(unit, program), starts) << unit;
}

TEST(AutostartServiceTest, EnablesThePackagedUnitWhenItStartsThisProgram) {
  const std::string program = "/usr/lib/norvik-drivesentinel/drivesentinel";
  const std::string ownUnit = "[Service]\nExecStart=/opt/x /autostart\n";
  struct Case {
    std::string packagedExec;  // "" when no package brought a unit
    bool ownUnitBefore;
    bool usesPackaged;
  };
  const Case cases[] = {
      {program, false, true},
      {program, true, true},
      {"/usr/lib/other/drivesentinel", false, false},  // a package of another copy
      {"", false, false},
  };
  for (const Case& c : cases) {
    TempFolder root;
    const ServiceUnitFolders folders = FoldersIn(root);
    if (!c.packagedExec.empty())
      std::ofstream(folders.packaged + kServiceName) << "ExecStart=" << c.packagedExec << " /a\n";
    if (c.ownUnitBefore)
      std::ofstream(folders.local + kServiceName) << ownUnit;
    RecordingLauncher launcher;
    std::string message;
    ASSERT_TRUE(InstallAutostartService(program, folders, true, launcher, &message)) << message;
    std::stringstream local;
    local << std::ifstream(folders.local + kServiceName).rdbuf();
    if (c.usesPackaged) {
      EXPECT_EQ(launcher.runs,
                std::vector<std::string>{"systemctl enable norvik-drivesentinel.service"});
      EXPECT_EQ(local.str(), c.ownUnitBefore ? ownUnit : "");
      EXPECT_EQ(message.find("takes its place") != std::string::npos, c.ownUnitBefore) << message;
    } else {
      EXPECT_EQ(launcher.runs.size(), 2u);
      EXPECT_TRUE(UnitStartsProgram(local.str(), program));
    }
  }
}

}  // namespace
}  // namespace ds
