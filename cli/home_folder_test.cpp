#include "cli/home_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/machine_opener.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(HomeFolderTest, FirstSourceThatIsGivenWins) {
  struct Case {
    std::string option;
    const char* environment;
    std::string ini;
    std::string home;  // "" when refused
  };
  const Case cases[] = {
      {"", nullptr, "", "/opt/ds/"},  // nothing given: beside the program
      {"", nullptr, "/var/lib/ds", "/var/lib/ds/"},
      {"", "/srv/ds", "/var/lib/ds", "/srv/ds/"},
      {"", "", "/var/lib/ds/", "/var/lib/ds/"},     // an empty variable counts as unset
      {"mine", "/srv/ds", "/var/lib/ds", "mine/"},  // --home as given, relative or not
      {"/tmp/h/", "relative", "also relative", "/tmp/h/"},
      {"", "relative/ds", "/var/lib/ds", ""},  // a relative variable is refused, not skipped
      {"", nullptr, "data", ""},
      {"", nullptr, "/var/lib/ds\n/var/lib/other", ""},  // the key given twice
  };
  for (const Case& c : cases) {
    std::string home, error;
    const bool ok = ChooseHomeFolder(c.option, c.environment, c.ini, "/opt/ds/", &home, &error);
    // A refusal leaves `home` empty and says why.
    EXPECT_EQ(home, c.home) << c.option << "|" << (c.environment ? c.environment : "-") << c.ini;
    EXPECT_EQ(ok, error.empty()) << error;
  }
}

// A simulated machine never shares the configured home of the real one.
TEST(HomeFolderTest, SimulatedMachinesKeepApartFromTheServicesHome) {
  TempFolder home;
  setenv(kHomeEnvironmentVariable, home.path().c_str(), 1);
  struct Case {
    DiskSource source;
    std::string option;
    std::string expected;
  };
  const Case cases[] = {
      {DiskSource::kRealDisks, "", home.path()},
      {DiskSource::kDemo, "", home.path() + "simulated/"},
      {DiskSource::kSimulated, "", home.path() + "simulated/"},
      {DiskSource::kDemo, "/elsewhere/", "/elsewhere/"},  // --home is taken as given
  };
  for (const Case& c : cases) {
    const MachineOptions options{c.source, "", c.option};
    ProgramRoots roots;
    std::string error;
    ASSERT_TRUE(RootsFor(options, "/opt/ds/", &roots, &error)) << error;
    EXPECT_EQ(roots.home, c.expected);
  }
  unsetenv(kHomeEnvironmentVariable);
  EXPECT_TRUE(std::filesystem::is_directory(home.path() + "simulated"));
}

}  // namespace
}  // namespace ds
