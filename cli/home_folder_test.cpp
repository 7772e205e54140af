#include "cli/home_folder.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ds
