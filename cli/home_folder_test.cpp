#include "cli/home_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/machine_opener.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(HomeFolderTest, FirstSourceThatIsGivenWins) {
  // --home, the environment variable, the configuration file's and the ini file's key; the
  // home chosen, "" when refused.
  const std::tuple<std::string, const char*, std::string, std::string, std::string> cases[] = {
      {"", nullptr, "", "", "/opt/ds/"},  // nothing given: beside the program
      {"", nullptr, "", "/var/lib/ds", "/var/lib/ds/"},
      {"", nullptr, "/etc-home", "/var/lib/ds", "/etc-home/"},  // the file above the ini
      {"", "/srv/ds", "/etc-home", "/var/lib/ds", "/srv/ds/"},
      {"", "", "", "/var/lib/ds/", "/var/lib/ds/"},  // an empty variable counts as unset
      {"mine", "/srv/ds", "/etc-home", "/var/lib/ds", "mine/"},  // --home as given
      {"/tmp/h/", "relative", "", "also relative", "/tmp/h/"},
      {"", "relative/ds", "", "/var/lib/ds", ""},  // a relative variable is refused, not skipped
      {"", nullptr, "etc-home", "/var/lib/ds", ""},
      {"", nullptr, "", "data", ""},
      {"", nullptr, "", "/var/lib/ds\n/var/lib/other", ""}};  // the key given twice
  for (const auto& [option, environment, config, ini, expected] : cases) {
    std::string home, error;
    const bool ok = ChooseHomeFolder(option, environment, config, ini, "/opt/ds/", &home, &error);
    EXPECT_EQ(home, expected) << option << "|" << (environment ? environment : "-") << config << "|"
                              << ini;
    EXPECT_EQ(ok, error.empty()) << error;  // a refusal says why
  }
}

// A simulated machine never shares the configured home of the real one.
TEST(HomeFolderTest, SimulatedMachinesKeepApartFromTheServicesHome) {
  TempFolder home;
  setenv(kHomeEnvironmentVariable, home.path().c_str(), 1);
  const std::tuple<DiskSource, std::string, std::string> cases[] = {
      {DiskSource::kRealDisks, "", home.path()},
      {DiskSource::kDemo, "", home.path() + "simulated/"},
      {DiskSource::kSimulated, "", home.path() + "simulated/"},
      {DiskSource::kDemo, "/elsewhere/", "/elsewhere/"}};  // --home is taken as given
  for (const auto& [source, option, expected] : cases) {
    ProgramRoots roots;
    std::string error;
    ASSERT_TRUE(RootsFor({source, "", option}, "/opt/ds/", &roots, &error)) << error;
    EXPECT_EQ(roots.home, expected);
  }
  unsetenv(kHomeEnvironmentVariable);
  EXPECT_TRUE(std::filesystem::is_directory(home.path() + "simulated"));
}

}  // namespace
}  // namespace ds
