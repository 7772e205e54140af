#include "platform/machine_facts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(MachineFactsTest, StorageControllersAndBoardFromSysfs) {
  TempFolder root;
  const std::string pci = root.path() + "sys/bus/pci/";
  const std::pair<std::string, std::string> files[] = {
      {"sys/class/dmi/id/board_name", "PRIME B450\n"},
      {"proc/sys/kernel/osrelease", "6.1.0-test\n"},
      {"sys/bus/pci/devices/0000:00:1f.2/class", "0x010601\n"},
      {"sys/bus/pci/devices/0000:00:01.1/class", "0x010180\n"},
      {"sys/bus/pci/devices/0000:00:02.0/class", "0x030000\n"},  // graphics: left out
      {"sys/bus/pci/devices/0000:03:00.0/class", "0x010802\n"},
      {"sys/bus/pci/drivers/ahci/.keep", ""},
      {"sys/bus/pci/drivers/nvme/.keep", ""},
      {"sys/module/nvme/version", "1.0\n"}};
  for (const auto& [path, text] : files) {
    std::filesystem::create_directories(std::filesystem::path(root.path() + path).parent_path());
    std::ofstream(root.path() + path) << text;
  }
  for (const auto& [driver, device] : {std::pair{"ahci", "0000:00:1f.2"}, {"nvme", "0000:03:00.0"}})
    std::filesystem::create_directory_symlink(pci + "drivers/" + driver,
                                              pci + "devices/" + device + "/driver");
  const MachineFacts facts = ReadMachineFacts(root.path());
  std::vector<std::pair<std::string, std::string>> found;
  for (const auto& controller : facts.storageControllers)
    found.emplace_back(controller.driverDesc, controller.driverVersion);
  EXPECT_EQ(facts.boardProduct, "PRIME B450");
  EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                       {"Standard SATA AHCI Controller (ahci)", "6.1.0-test"},
                       {"Standard IDE ATA/ATAPI Controller", "6.1.0-test"},
                       {"Standard NVM Express Controller (nvme)", "1.0"}}));
  const MachineFacts none = ReadMachineFacts(root.path() + "missing/");
  EXPECT_TRUE(none.storageControllers.empty() && !none.boardProduct && !none.biosDate);
}

}  // namespace
}  // namespace ds
