#include "app/autostart_service.h"

#include <gtest/gtest.h>

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

TEST(AutostartServiceTest, InstallsAndEnablesWhereSystemdRuns) {
  TempFolder units;
  RecordingLauncher launcher;
  std::string message;
  ASSERT_TRUE(
      InstallAutostartService("/opt/ds/drivesentinel", units.path(), true, launcher, &message));
  EXPECT_EQ(launcher.runs,
            (std::vector<std::string>{"systemctl daemon-reload",
                                      "systemctl enable norvik-drivesentinel.service"}));
  std::ifstream unit(units.path() + kServiceName);
  std::stringstream text;
  text << unit.rdbuf();
  EXPECT_EQ(ExecStartOf(text.str()), "ExecStart=\"/opt/ds/drivesentinel\" /autostart");
}

TEST(AutostartServiceTest, SaysWhatHappenedWhereItCannotInstall) {
  TempFolder units;
  RecordingLauncher launcher;
  std::string message;
  EXPECT_FALSE(
      InstallAutostartService("/opt/ds/drivesentinel", units.path(), false, launcher, &message));
  EXPECT_NE(message.find("systemd is not running"), std::string::npos);
  EXPECT_TRUE(launcher.runs.empty());

  launcher.exitCode = 1;
  EXPECT_FALSE(
      InstallAutostartService("/opt/ds/drivesentinel", units.path(), true, launcher, &message));
  EXPECT_NE(message.find("could not enable"), std::string::npos);

  EXPECT_FALSE(InstallAutostartService("/opt/ds/drivesentinel", units.path() + "missing/", true,
                                       launcher, &message));
  EXPECT_NE(message.find("cannot write"), std::string::npos);
}

}  // namespace
}  // namespace ds
