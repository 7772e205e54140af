#include "app/registry_facade.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(RegistryFacadeTest, ValuesPersistPrivatelyAndKeysIgnoreCase) {
  TempFolder home;
  const std::string file = home.path() + "registry.dat";
  const std::string command = "/opt/a b\\c\td\n\r\\t /autostart";
  {
    RegistryFacade registry(file, {});  // a fresh machine: the browser and Run keys only
    EXPECT_TRUE(registry.KeyExists(kBrowserEmulationKey) && registry.KeyExists(kRunKey));
    ASSERT_TRUE(registry.CreateKey(kNorvikKey) &&
                registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1) &&
                registry.SetString(kRunKey, kRunValueName, command));
  }
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::none);
  RegistryFacade again(file, {});
  std::uint32_t value = 0;
  std::string text;
  EXPECT_FALSE(again.QueryDword(kBrowserEmulationKey, "drivesentinel", &value));
  EXPECT_TRUE(again.QueryDword("hkey_local_machine\\software\\norvik", "donotaskmeagain", &value) &&
              again.QueryString(kRunKey, kRunValueName, &text));
  EXPECT_EQ(std::tuple(value, text), std::tuple(1u, command));
}

}  // namespace
}  // namespace ds
