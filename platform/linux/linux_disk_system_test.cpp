#include "platform/linux/linux_disk_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/machine_facts.h"

namespace ds {
namespace {

const std::string kFixture = std::string(DS_SOURCE_DIR) + "/testdata/sysfs-basic";
using Text = std::string;

TEST(LinuxDiskSystemTest, StorageDescriptorsAndBusTypes) {
  // Bus type, vendor, product, revision, serial, sectors of drives 0, 1, ...
  // clang-format off
  const std::tuple<int, Text, Text, Text, Text, std::uint64_t> cases[] = {
      {17, "NVMe", "Samsung SSD 970 EVO Plus 500GB", "2B2QEXM7", "S4EVNX0N123456K", 976773168},
      {11, "ATA", "Samsung SSD 860", "4B6Q", "S3Z9NB0K123456A     ", 500118192},
      {11, "", "QRB-X52 128GB", "", "", 250069680},  // attributes missing
      {7, "Kingston", "DataTraveler 3.0", "PMAP", "", 60437492},
      {3, "ATA", "IC25N020ATCS04-0", "CA2O", "", 39070080},  // pata_ host driver
      {14, "", "", "", "", 41943040},                        // virtio
  };
  // clang-format on
  LinuxDiskSystem disks(kFixture);
  for (int number = 0; number < 6; ++number) {
    StorageDescriptorFacts f;
    ASSERT_TRUE(disks.QueryStorageDescriptor(number, &f)) << number;
    EXPECT_EQ(
        std::tuple(f.rawBusType, f.vendor, f.product, f.revision, f.serial, f.sizeBytes / 512),
        cases[number]);
    EXPECT_EQ(f.sizeBytes % 512, 0u);
  }
  StorageDescriptorFacts none;
  EXPECT_FALSE(disks.QueryStorageDescriptor(6, &none));
  EXPECT_FALSE(disks.QueryStorageDescriptor(-1, &none));
}

TEST(LinuxDiskSystemTest, VolumesFromMountInfoWithLabels) {
  LinuxDiskSystem disks(kFixture);
  std::vector<std::tuple<int, Text, Text, Text, bool, bool>> found;
  for (const VolumeFacts& v : disks.ListVolumes())
    found.emplace_back(v.driveNumber, v.mountPoint, v.label, v.fileSystem, v.removable,
                       v.infoReadable);
  // Bind mount, loop device and bad lines are left out.
  EXPECT_EQ(found, (std::vector<std::tuple<int, Text, Text, Text, bool, bool>>{
                       {1, "/", "", "ext4", false, true},
                       {1, "/boot/efi", "EFI", "vfat", false, true},
                       {2, "/mnt/my data", "my label", "ext4", false, true},
                       {3, "/media/usb", "USBKEY", "vfat", true, true},
                       {0, "/home", "home", "xfs", false, true}}));
}

TEST(LinuxDiskSystemTest, UsbStorageInterfaceAndUsbDevices) {
  LinuxDiskSystem disks(kFixture);
  std::vector<StorageInterfaceFacts> interfaces;
  std::string message;
  ASSERT_TRUE(disks.ListStorageInterfaces(&interfaces, &message));
  std::map<int, StorageInterfaceFacts> byNumber;
  for (const StorageInterfaceFacts& facts : interfaces)
    byNumber[facts.driveNumber] = facts;
  ASSERT_EQ(byNumber.size(), 6u);
  EXPECT_EQ(byNumber[3].enumerator, "usbstor");
  EXPECT_EQ(byNumber[3].instanceId, "60a44c413a8cf1a0b9390030&0");
  EXPECT_EQ(byNumber[1].enumerator, "ide");
  EXPECT_EQ(byNumber[0].enumerator, "nvme");
  std::vector<std::tuple<Text, bool, std::uint32_t, std::uint32_t>> devices;
  for (const UsbDeviceFacts& d : disks.ListUsbDevices())
    devices.emplace_back(d.serial, d.lowSpeed, d.vendorId, d.productId);
  // The root hub and the interface are not devices.
  EXPECT_EQ(devices,
            (std::vector<std::tuple<Text, bool, std::uint32_t, std::uint32_t>>{
                {"60a44c413a8cf1a0b9390030", false, 0x0951, 0x1666}, {"", true, 0x046D, 0xC31C}}));
}

TEST(LinuxDiskSystemTest, WholeDisksSortedByKernelNameAndNothingUnderAMissingRoot) {
  LinuxDiskSystem disks(kFixture);
  disks.Rescan();
  EXPECT_EQ(disks.DiskNames(),
            (std::vector<std::string>{"nvme0n1", "sda", "sdb", "sdc", "sdd", "vda"}));
  EXPECT_EQ(ReadMachineFacts(kFixture).boardProduct, "PRIME B450M-A");
  LinuxDiskSystem nothing(kFixture + "/no-such-folder");
  nothing.Rescan();
  EXPECT_TRUE(nothing.DiskNames().empty());
  EXPECT_TRUE(nothing.ListVolumes().empty());
  EXPECT_TRUE(nothing.ListUsbDevices().empty());
  std::vector<StorageInterfaceFacts> interfaces;
  std::string message;
  EXPECT_FALSE(nothing.ListStorageInterfaces(&interfaces, &message));
  EXPECT_FALSE(message.empty());
}

TEST(LinuxDiskSystemTest, MountInfoLinesAndEscapes) {
  // A line and its device, mount point and file system ("" when refused).
  const std::tuple<Text, Text, Text, Text> cases[] = {
      {"25 1 8:2 / / rw shared:1 - ext4 /dev/sda2 rw", "8:2", "/", "ext4"},
      {"25 1 8:2 / /a\\040b\\011c rw - ext4 /dev/sda2 rw", "8:2", "/a b\tc", "ext4"},
      {"25 1 8:2 / /x rw a:1 b:2 c:3 - btrfs /dev/sda2 rw", "8:2", "/x", "btrfs"},
      {"25 1 8:2 / /x rw - ", "", "", ""},
      {"garbage", "", "", ""},
      {"", "", "", ""},
      {"25 1 82 / /x rw - ext4 s o", "", "", ""},
  };
  for (const auto& [line, device, mountPoint, fileSystem] : cases) {
    MountInfoEntry e;
    EXPECT_EQ(ParseMountInfoLine(line, &e), !device.empty()) << line;
    if (device.empty())
      continue;
    EXPECT_EQ(std::tie(e.deviceNumber, e.mountPoint, e.fileSystem),
              std::tie(device, mountPoint, fileSystem));
  }
  const std::pair<Text, Text> escapes[] = {{"my\\x20label", "my label"},
                                           {"a\\040b", "a b"},
                                           {"trailing\\", "trailing\\"},
                                           {"\\x2", "\\x2"},
                                           {"\\999", "\\999"}};
  for (const auto& [text, decoded] : escapes)
    EXPECT_EQ(DecodeEscapes(text), decoded);
}

}  // namespace
}  // namespace ds
