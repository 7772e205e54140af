#include "app/registry_facade.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/temp_folder.h"

namespace ds {
namespace {

SystemRegistryFacts Facts() {
  SystemRegistryFacts facts;
  facts.controllers = {{"Standard SATA Controller (ata_piix)", "6.1.0"},
                       {"Intel Storage", "2.0"},
                       {"", "3.0"},
                       {"Standard SATA AHCI Controller (ahci)", "6.1.0-ahci"}};
  facts.baseBoardProduct = "X570 AORUS";
  return facts;
}

TEST(RegistryFacadeTest, ValuesPersistPrivatelyAndKeysIgnoreCase) {
  TempFolder home;
  const std::string file = home.path() + "registry.dat";
  const std::string command = "/opt/a b\\c\td\n\r\\t /autostart";
  {
    RegistryFacade registry(file, Facts());  // a fresh machine: the browser and Run keys only
    EXPECT_TRUE(registry.KeyExists(kBrowserEmulationKey));
    EXPECT_TRUE(registry.KeyExists(kRunKey));
    EXPECT_FALSE(registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1));  // no such key yet
    ASSERT_TRUE(registry.CreateKey(kNorvikKey));
    ASSERT_TRUE(registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1));
    ASSERT_TRUE(registry.SetString(kRunKey, kRunValueName, command));
  }
  EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::others_read,
            std::filesystem::perms::none);
  RegistryFacade again(file, Facts());
  std::uint32_t value = 0;
  EXPECT_FALSE(again.QueryDword(kBrowserEmulationKey, "drivesentinel", &value));
  ASSERT_TRUE(again.QueryDword("hkey_local_machine\\software\\norvik", "donotaskmeagain", &value));
  EXPECT_EQ(value, 1u);
  std::string text;
  ASSERT_TRUE(again.QueryString(kRunKey, kRunValueName, &text));
  EXPECT_EQ(text, command);
  EXPECT_FALSE(again.QueryString(kNorvikKey, "DoNotAskMeAgain", &text));  // wrong type
  EXPECT_FALSE(again.QueryDword(kRunKey, kRunValueName, &value));
  EXPECT_FALSE(RegistryFacade("", Facts()).KeyExists(kNorvikKey));
}

TEST(RegistryFacadeTest, SystemKeysAnswerFromMachineFactsAndAreReadOnly) {
  RegistryFacade registry("", Facts());
  const std::string storage = std::string(kStorageClassKey) + "\\";
  std::string text;
  ASSERT_TRUE(registry.QueryString(storage + "0000", "DriverDesc", &text));
  EXPECT_EQ(text, "Standard SATA Controller (ata_piix)");
  ASSERT_TRUE(registry.QueryString(storage + "0003", "DriverVersion", &text));
  EXPECT_EQ(text, "6.1.0-ahci");
  EXPECT_FALSE(registry.KeyExists(storage + "0004"));
  EXPECT_FALSE(registry.QueryString(storage + "0004", "DriverDesc", &text));
  EXPECT_FALSE(registry.QueryString(storage + "00x0", "DriverDesc", &text));
  EXPECT_FALSE(registry.SetString(kBiosKey, "BaseBoardProduct", "changed"));
  ASSERT_TRUE(registry.QueryString(kBiosKey, "BaseBoardProduct", &text));
  EXPECT_EQ(text, "X570 AORUS");
}

TEST(RegistryFacadeTest, WritingTheRunValueIsMirrored) {
  std::vector<std::string> mirrored;
  RegistryFacade registry("", Facts(), [&](const std::string& cmd) { mirrored.push_back(cmd); });
  registry.CreateKey(kNorvikKey);
  registry.SetString(kNorvikKey, kRunValueName, "not the run key");
  registry.SetString(kRunKey, "Other", "other program");
  registry.SetString(kRunKey, kRunValueName, "/opt/ds/drivesentinel /autostart");
  EXPECT_EQ(mirrored, std::vector<std::string>{"/opt/ds/drivesentinel /autostart"});
}

}  // namespace
}  // namespace ds
