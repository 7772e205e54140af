#include "platform/machine_facts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(MachineFactsTest, StorageControllersAndBoardFromSysfs) {
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
  MachineFacts facts = ReadMachineFacts(root.path());
  EXPECT_EQ(facts.boardProduct, "PRIME B450");
  ASSERT_EQ(facts.storageControllers.size(), 3u);
  EXPECT_EQ(facts.storageControllers[0].driverDesc, "Standard SATA AHCI Controller (ahci)");
  EXPECT_EQ(facts.storageControllers[0].driverVersion, "6.1.0-test");
  EXPECT_EQ(facts.storageControllers[1].driverDesc, "Standard IDE ATA/ATAPI Controller");
  EXPECT_EQ(facts.storageControllers[2].driverDesc, "Standard NVM Express Controller (nvme)");
  EXPECT_EQ(facts.storageControllers[2].driverVersion, "1.0");

  MachineFacts none = ReadMachineFacts(root.path() + "missing/");
  EXPECT_TRUE(none.storageControllers.empty());
  EXPECT_EQ(none.boardProduct, "");
}

}  // namespace
}  // namespace ds
