#include "platform/linux/linux_disk_system.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/machine_facts.h"

namespace ds {
namespace {

const std::string kFixture = std::string(DS_SOURCE_DIR) + "/testdata/sysfs-basic";

TEST(LinuxDiskSystemTest, ListsWholeDisksSortedByKernelName) {
  LinuxDiskSystem disks(kFixture);
  disks.Rescan();
  EXPECT_EQ(disks.DiskNames(),
            (std::vector<std::string>{"nvme0n1", "sda", "sdb", "sdc", "sdd", "vda"}));
}

TEST(LinuxDiskSystemTest, StorageDescriptorsAndBusTypes) {
  struct Case {
    int driveNumber;
    int busType;
    const char* vendor;
    const char* product;
    const char* revision;
    const char* serial;
    std::uint64_t sectors;
  };
  const Case cases[] = {
      {0, 17, "NVMe", "Samsung SSD 970 EVO Plus 500GB", "2B2QEXM7", "S4EVNX0N123456K", 976773168},
      {1, 11, "ATA", "Samsung SSD 860", "4B6Q", "S3Z9NB0K123456A     ", 500118192},
      {2, 11, "", "QRB-X52 128GB", "", "", 250069680},  // attributes missing
      {3, 7, "Kingston", "DataTraveler 3.0", "PMAP", "", 60437492},
      {4, 3, "ATA", "IC25N020ATCS04-0", "CA2O", "", 39070080},  // pata_ host driver
      {5, 14, "", "", "", "", 41943040},                        // virtio
  };
  LinuxDiskSystem disks(kFixture);
  for (const Case& c : cases) {
    StorageDescriptorFacts facts;
    ASSERT_TRUE(disks.QueryStorageDescriptor(c.driveNumber, &facts)) << c.driveNumber;
    EXPECT_EQ(facts.rawBusType, c.busType) << c.driveNumber;
    EXPECT_EQ(facts.vendor, c.vendor) << c.driveNumber;
    EXPECT_EQ(facts.product, c.product) << c.driveNumber;
    EXPECT_EQ(facts.revision, c.revision) << c.driveNumber;
    EXPECT_EQ(facts.serial, c.serial) << c.driveNumber;
    EXPECT_EQ(facts.sizeBytes, c.sectors * 512) << c.driveNumber;
  }
  StorageDescriptorFacts none;
  EXPECT_FALSE(disks.QueryStorageDescriptor(6, &none));
  EXPECT_FALSE(disks.QueryStorageDescriptor(-1, &none));
}

TEST(LinuxDiskSystemTest, VolumesFromMountInfoWithLabels) {
  LinuxDiskSystem disks(kFixture);
  std::vector<VolumeFacts> volumes = disks.ListVolumes();
  ASSERT_EQ(volumes.size(), 5u);  // bind mount, loop device, bad lines left out
  struct Expected {
    int driveNumber;
    const char* mountPoint;
    const char* label;
    const char* fileSystem;
    bool removable;
  };
  const Expected expected[] = {
      {1, "/", "", "ext4", false},
      {1, "/boot/efi", "EFI", "vfat", false},
      {2, "/mnt/my data", "my label", "ext4", false},
      {3, "/media/usb", "USBKEY", "vfat", true},
      {0, "/home", "home", "xfs", false},
  };
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    EXPECT_EQ(volumes[i].driveNumber, expected[i].driveNumber) << i;
    EXPECT_EQ(volumes[i].mountPoint, expected[i].mountPoint) << i;
    EXPECT_EQ(volumes[i].label, expected[i].label) << i;
    EXPECT_EQ(volumes[i].fileSystem, expected[i].fileSystem) << i;
    EXPECT_EQ(volumes[i].removable, expected[i].removable) << i;
    EXPECT_TRUE(volumes[i].infoReadable) << i;
  }
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

  std::vector<UsbDeviceFacts> devices = disks.ListUsbDevices();
  ASSERT_EQ(devices.size(), 2u);  // the root hub and the interface are not devices
  EXPECT_EQ(devices[0].serial, "60a44c413a8cf1a0b9390030");
  EXPECT_FALSE(devices[0].lowSpeed);
  EXPECT_EQ(devices[0].vendorId, 0x0951u);
  EXPECT_EQ(devices[0].productId, 0x1666u);
  EXPECT_EQ(devices[1].serial, "");
  EXPECT_TRUE(devices[1].lowSpeed);
  EXPECT_EQ(devices[1].vendorId, 0x046Du);
}

TEST(LinuxDiskSystemTest, MissingRoot) {
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

TEST(LinuxDiskSystemTest, MountInfoLines) {
  struct Case {
    const char* line;
    bool ok;
    const char* device;
    const char* mountPoint;
    const char* fileSystem;
  };
  const Case cases[] = {
      {"25 1 8:2 / / rw shared:1 - ext4 /dev/sda2 rw", true, "8:2", "/", "ext4"},
      {"25 1 8:2 / /a\\040b\\011c rw - ext4 /dev/sda2 rw", true, "8:2", "/a b\tc", "ext4"},
      {"25 1 8:2 / /x rw a:1 b:2 c:3 - btrfs /dev/sda2 rw", true, "8:2", "/x", "btrfs"},
      {"25 1 8:2 / /x rw - ", false, "", "", ""},
      {"garbage", false, "", "", ""},
      {"", false, "", "", ""},
      {"25 1 82 / /x rw - ext4 s o", false, "", "", ""},
  };
  for (const Case& c : cases) {
    MountInfoEntry entry;
    EXPECT_EQ(ParseMountInfoLine(c.line, &entry), c.ok) << c.line;
    if (!c.ok)
      continue;
    EXPECT_EQ(entry.deviceNumber, c.device);
    EXPECT_EQ(entry.mountPoint, c.mountPoint);
    EXPECT_EQ(entry.fileSystem, c.fileSystem);
  }
}

TEST(LinuxDiskSystemTest, Escapes) {
  EXPECT_EQ(DecodeEscapes("my\\x20label"), "my label");
  EXPECT_EQ(DecodeEscapes("a\\040b"), "a b");
  EXPECT_EQ(DecodeEscapes("trailing\\"), "trailing\\");
  EXPECT_EQ(DecodeEscapes("\\x2"), "\\x2");
  EXPECT_EQ(DecodeEscapes("\\999"), "\\999");
}

}  // namespace
}  // namespace ds
