#include "app/registry_facade.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST(RegistryFacadeTest, ReadsStorageControllersAndBoardFromSysfs) {
  TempFolder root;
  auto write = [&](const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(root.path() + path).parent_path());
    std::ofstream(root.path() + path) << text;
  };
  write("sys/class/dmi/id/board_name", "PRIME B450\n");
  write("proc/sys/kernel/osrelease", "6.1.0-test\n");
  write("sys/bus/pci/devices/0000:00:1f.2/class", "0x010601\n");
  write("sys/bus/pci/devices/0000:00:01.1/class", "0x010180\n");
  write("sys/bus/pci/devices/0000:00:02.0/class", "0x030000\n");  // graphics: left out
  write("sys/bus/pci/devices/0000:03:00.0/class", "0x010802\n");
  write("sys/bus/pci/drivers/ahci/.keep", "");
  write("sys/module/nvme/version", "1.0\n");
  std::filesystem::create_directories(root.path() + "sys/bus/pci/drivers/nvme");
  std::filesystem::create_directory_symlink(
      root.path() + "sys/bus/pci/drivers/ahci",
      root.path() + "sys/bus/pci/devices/0000:00:1f.2/driver");
  std::filesystem::create_directory_symlink(
      root.path() + "sys/bus/pci/drivers/nvme",
      root.path() + "sys/bus/pci/devices/0000:03:00.0/driver");
  SystemRegistryFacts facts = ReadSystemRegistryFacts(root.path());
  EXPECT_EQ(facts.baseBoardProduct, "PRIME B450");
  ASSERT_EQ(facts.controllers.size(), 3u);
  EXPECT_EQ(facts.controllers[0].driverDesc, "Standard SATA AHCI Controller (ahci)");
  EXPECT_EQ(facts.controllers[0].driverVersion, "6.1.0-test");
  EXPECT_EQ(facts.controllers[1].driverDesc, "Standard IDE ATA/ATAPI Controller");
  EXPECT_EQ(facts.controllers[2].driverDesc, "Standard NVM Express Controller (nvme)");
  EXPECT_EQ(facts.controllers[2].driverVersion, "1.0");

  SystemRegistryFacts none = ReadSystemRegistryFacts(root.path() + "missing/");
  EXPECT_TRUE(none.controllers.empty());
  EXPECT_EQ(none.baseBoardProduct, "");
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
