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

TEST(RegistryFacadeTest, AFreshMachineHasTheBrowserAndRunKeysOnly) {
  TempFolder home;
  RegistryFacade registry(home.path() + "registry.dat", Facts());
  EXPECT_TRUE(registry.KeyExists(kBrowserEmulationKey));
  EXPECT_TRUE(registry.KeyExists(kRunKey));
  EXPECT_FALSE(registry.KeyExists(kNorvikKey));
  std::uint32_t value = 0;
  EXPECT_FALSE(registry.QueryDword(kBrowserEmulationKey, "drivesentinel", &value));
  EXPECT_TRUE(std::filesystem::exists(home.path() + "registry.dat"));
  EXPECT_EQ(std::filesystem::status(home.path() + "registry.dat").permissions() &
                std::filesystem::perms::others_read,
            std::filesystem::perms::none);
}

TEST(RegistryFacadeTest, ValuesPersistAcrossStartsAndKeysIgnoreCase) {
  TempFolder home;
  std::string file = home.path() + "registry.dat";
  {
    RegistryFacade registry(file, Facts());
    EXPECT_FALSE(registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1));  // no such key yet
    ASSERT_TRUE(registry.CreateKey(kNorvikKey));
    ASSERT_TRUE(registry.SetDword(kNorvikKey, "DoNotAskMeAgain", 1));
    ASSERT_TRUE(registry.SetString(kRunKey, kRunValueName, "/opt/a b\\c\td\n /autostart"));
  }
  RegistryFacade again(file, Facts());
  std::uint32_t value = 0;
  ASSERT_TRUE(again.QueryDword("hkey_local_machine\\software\\norvik", "donotaskmeagain", &value));
  EXPECT_EQ(value, 1u);
  std::string text;
  ASSERT_TRUE(again.QueryString(kRunKey, kRunValueName, &text));
  EXPECT_EQ(text, "/opt/a b\\c\td\n /autostart");
  EXPECT_FALSE(again.QueryString(kNorvikKey, "DoNotAskMeAgain", &text));  // wrong type
  EXPECT_FALSE(again.QueryDword(kRunKey, kRunValueName, &value));
}

TEST(RegistryFacadeTest, SystemKeysAnswerFromMachineFactsAndAreReadOnly) {
  RegistryFacade registry("", Facts());
  std::string text;
  ASSERT_TRUE(registry.QueryString(std::string(kStorageClassKey) + "\\0000", "DriverDesc", &text));
  EXPECT_EQ(text, "Standard SATA Controller (ata_piix)");
  ASSERT_TRUE(
      registry.QueryString(std::string(kStorageClassKey) + "\\0003", "DriverVersion", &text));
  EXPECT_EQ(text, "6.1.0-ahci");
  EXPECT_FALSE(registry.KeyExists(std::string(kStorageClassKey) + "\\0004"));
  EXPECT_FALSE(registry.QueryString(std::string(kStorageClassKey) + "\\0004", "DriverDesc", &text));
  EXPECT_FALSE(registry.QueryString(std::string(kStorageClassKey) + "\\00x0", "DriverDesc", &text));
  ASSERT_TRUE(registry.QueryString(kBiosKey, "BaseBoardProduct", &text));
  EXPECT_EQ(text, "X570 AORUS");
  EXPECT_FALSE(registry.SetString(kBiosKey, "BaseBoardProduct", "changed"));
  ASSERT_TRUE(registry.QueryString(kBiosKey, "BaseBoardProduct", &text));
  EXPECT_EQ(text, "X570 AORUS");
}

TEST(RegistryFacadeTest, WritingTheRunValueIsMirrored) {
  std::vector<std::string> mirrored;
  RegistryFacade registry("", Facts(),
                          [&](const std::string& command) { mirrored.push_back(command); });
  registry.CreateKey(kNorvikKey);
  registry.SetString(kNorvikKey, kRunValueName, "not the run key");
  registry.SetString(kRunKey, "Other", "other program");
  registry.SetString(kRunKey, kRunValueName, "/opt/ds/drivesentinel /autostart");
  EXPECT_EQ(mirrored, std::vector<std::string>{"/opt/ds/drivesentinel /autostart"});
}

TEST(RegistryFacadeTest, EscapeRoundTrip) {
  for (std::string text : {"", "plain", "a\\b", "tab\there", "line\nbreak\r", "\\t literal"}) {
    EXPECT_EQ(UnescapeRegistryText(EscapeRegistryText(text)), text);
    EXPECT_EQ(EscapeRegistryText(text).find('\t'), std::string::npos);
    EXPECT_EQ(EscapeRegistryText(text).find('\n'), std::string::npos);
  }
}

}  // namespace
}  // namespace ds
