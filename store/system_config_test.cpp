#include "store/system_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

// The file lies in <temp>/etc/, below the sticky /tmp (which the check accepts, as it
// accepts /etc's own ancestors); each row changes the file or its folder.
TEST(SystemConfigTest, ReadOnlyWhenOnlyRootCanChangeIt) {
  if (::geteuid() != 0)
    GTEST_SKIP() << "needs root to own and hand over files";
  struct Case {
    mode_t fileMode, folderMode;
    uid_t fileOwner, folderOwner;
    bool link;
    const char* why;  // "" when the file is used
  };
  const Case cases[] = {
      {0644, 0755, 0, 0, false, ""},
      {0600, 01777, 0, 0, false, ""},  // a sticky folder: others cannot move root's file
      {0664, 0755, 0, 0, false, "etc/drivesentinel.conf is writable by group or others"},
      {0606, 0755, 0, 0, false, "etc/drivesentinel.conf is writable by group or others"},
      {0644, 01777, 0, 1000, false, "etc is not owned by root"},  // sticky, but not root's
      {0644, 0757, 0, 0, false, "etc is a folder that group or others may write"},
      {0644, 0755, 1000, 0, false, "etc/drivesentinel.conf is not owned by root"},
      {0644, 0755, 0, 1000, false, "etc is not owned by root"},
      {0644, 0755, 0, 0, true, "etc/drivesentinel.conf is a symbolic link"},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    const std::string folder = temp.path() + "etc", path = folder + "/drivesentinel.conf";
    const std::string file = c.link ? temp.path() + "real.conf" : path;
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::ofstream(file) << "Metrics_Listen= 127.0.0.1:9101 \nHome_Folder=/srv/ds\n"
                        << "Metrics_Allow_Host=prom.example, 10.0.0.5\nmetrics_allow_host=b\n"
                        << "Ignore_Serial=SN 1, SN2\nignore_serial=SN3\n"
                        << "SelfTest_Short=weekly Sun 03\nSelfTest_Long=monthly 1 04\n"
                        << "Alert_Exec= /usr/local/sbin/hook \n";
    if (c.link)
      std::filesystem::create_symlink(file, path);
    ASSERT_EQ(::chmod(file.c_str(), c.fileMode) | ::chmod(folder.c_str(), c.folderMode), 0);
    ASSERT_EQ(::chown(file.c_str(), c.fileOwner, 0) | ::chown(folder.c_str(), c.folderOwner, 0), 0);
    std::string why;
    const SystemConfig config = ReadSystemConfig(path, &why);
    if (*c.why == '\0') {
      EXPECT_EQ(why, "");
      EXPECT_EQ(config.metricsListen, "127.0.0.1:9101");
      EXPECT_EQ(config.homeFolder, "/srv/ds");
      EXPECT_EQ(config.selfTestShort + "|" + config.selfTestLong + "|" + config.alertExec,
                "weekly Sun 03|monthly 1 04|/usr/local/sbin/hook");
      EXPECT_EQ(config.metricsAllowHosts,
                (std::vector<std::string>{"prom.example", "10.0.0.5", "b"}));
      EXPECT_EQ(config.ignoredSerials, (std::vector<std::string>{"SN 1", "SN2", "SN3"}));
    } else {
      EXPECT_EQ(why, "ignoring " + path + ": " + temp.path() + c.why) << c.why;
      EXPECT_EQ(config.metricsListen + config.homeFolder + config.alertExec, "");
      EXPECT_TRUE(config.metricsAllowHosts.empty());
    }
  }
  std::string why;  // no file: nothing to say
  EXPECT_EQ(ReadSystemConfig("/nonexistent/drivesentinel.conf", &why).metricsListen + why, "");
}

TEST(SystemConfigTest, IgnoredSerialsAreWholeTrimmedItems) {
  const std::vector<std::string> ignored = SerialList(" SN 1 ,,SN2\n\nsn3, ");
  EXPECT_EQ(ignored, (std::vector<std::string>{"SN 1", "SN2", "sn3"}));
  const std::pair<const char*, bool> cases[] = {
      {"SN 1", true}, {"  SN2 ", true}, {"SN3", false},
      {"SN", false},  {"SN 12", false}, {"", false},
  };
  for (const auto& [serial, expected] : cases)
    EXPECT_EQ(IsSerialIgnored(ignored, serial), expected) << serial;
  EXPECT_FALSE(IsSerialIgnored(SerialList(" , "), ""));
}

}  // namespace
}  // namespace ds
