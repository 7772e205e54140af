#include "platform/linux/linux_disk_system.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace ds {
namespace {

const std::string kFixture = std::string(DS_SOURCE_DIR) + "/testdata/sysfs-basic";
using Text = std::string;
using Volume = std::tuple<int, Text, Text, Text, bool, bool>;

TEST(LinuxDiskSystemTest, VolumesUsbDevicesAndSortedWholeDisksAndNothingUnderAMissingRoot) {
  LinuxDiskSystem disks(kFixture);
  std::vector<Volume> found;
  for (const VolumeFacts& v : disks.ListVolumes())
    found.emplace_back(v.driveNumber, v.mountPoint, v.label, v.fileSystem, v.removable,
                       v.infoReadable);
  // Bind mount, loop device and bad lines are left out.
  EXPECT_EQ(found, (std::vector<Volume>{{1, "/", "", "ext4", false, true},
                                        {1, "/boot/efi", "EFI", "vfat", false, true},
                                        {2, "/mnt/my data", "my label", "ext4", false, true},
                                        {3, "/media/usb", "USBKEY", "vfat", true, true},
                                        {0, "/home", "home", "xfs", false, true}}));
  std::vector<std::tuple<Text, bool, std::uint32_t, std::uint32_t>> devices;
  for (const UsbDeviceFacts& d : disks.ListUsbDevices())
    devices.emplace_back(d.serial, d.lowSpeed, d.vendorId, d.productId);
  // The root hub and the interface are not devices.
  EXPECT_EQ(devices,
            (std::vector<std::tuple<Text, bool, std::uint32_t, std::uint32_t>>{
                {"60a44c413a8cf1a0b9390030", false, 0x0951, 0x1666}, {"", true, 0x046D, 0xC31C}}));
  disks.Rescan();  // whole disks sorted by kernel name
  EXPECT_EQ(disks.DiskNames(),
            (std::vector<std::string>{"nvme0n1", "sda", "sdb", "sdc", "sdd", "vda"}));
  StorageDescriptorFacts facts;
  EXPECT_FALSE(disks.QueryStorageDescriptor(6, &facts) || disks.QueryStorageDescriptor(-1, &facts));
  LinuxDiskSystem nothing(kFixture + "/no-such-folder");
  nothing.Rescan();
  EXPECT_TRUE(nothing.DiskNames().empty() && nothing.ListVolumes().empty() &&
              nothing.ListUsbDevices().empty());
  std::vector<StorageInterfaceFacts> interfaces;
  std::string message;
  EXPECT_TRUE(!nothing.ListStorageInterfaces(&interfaces, &message) && !message.empty());
}

// The monitor enumerates (rescans) while the window's reads look disks up: every look-up
// sees a whole list, never one being rebuilt.
TEST(LinuxDiskSystemTest, LookUpsDuringRescansSeeAWholeList) {
  LinuxDiskSystem disks(kFixture);
  std::atomic<bool> done{false};
  std::thread scanner([&] {
    for (int i = 0; i < 3000; ++i)
      disks.Rescan();
    done = true;
  });
  int wrong = 0;
  while (!done)
    wrong += disks.DiskKey(1) == kFixture + "/dev/sda" ? 0 : 1;
  scanner.join();
  EXPECT_EQ(wrong, 0);
}

TEST(LinuxDiskSystemTest, MountInfoLinesAndEscapes) {
  // A line and its device, mount point and file system ("" when refused).
  const std::tuple<Text, Text, Text, Text> cases[] = {
      {"25 1 8:2 / / rw shared:1 - ext4 /dev/sda2 rw", "8:2", "/", "ext4"},
      {"25 1 8:2 / /a\\040b\\011c rw - ext4 /dev/sda2 rw", "8:2", "/a b\tc", "ext4"},
      {"25 1 8:2 / /x rw a:1 b:2 c:3 - btrfs /dev/sda2 rw", "8:2", "/x", "btrfs"},
      {"25 1 8:2 / /x rw - ", "", "", ""},
      {"garbage", "", "", ""},
      {"25 1 82 / /x rw - ext4 s o", "", "", ""}};
  for (const auto& [line, device, mountPoint, fileSystem] : cases) {
    MountInfoEntry e;
    EXPECT_EQ(ParseMountInfoLine(line, &e), !device.empty()) << line;
    if (device.empty())
      continue;
    EXPECT_EQ(std::tie(e.deviceNumber, e.mountPoint, e.fileSystem),
              std::tie(device, mountPoint, fileSystem));
  }
  std::vector<Text> decoded;
  for (const char* text : {"my\\x20label", "a\\040b", "trailing\\", "\\x2", "\\x2g", "\\999"})
    decoded.push_back(DecodeEscapes(text));
  EXPECT_EQ(decoded,
            (std::vector<Text>{"my label", "a b", "trailing\\", "\\x2", "\\x2g", "\\999"}));
}

}  // namespace
}  // namespace ds
