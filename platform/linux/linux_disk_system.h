#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_gate_table.h"
#include "platform/disk_system.h"

// The machine's disks on Linux, read from sysfs, /proc/self/mountinfo and /dev under a root
// folder ("/" on a real machine; a fixture tree in tests).
//
//  - disks: /sys/block entries named sd*, hd*, vd*, nvme*n*, mmcblk* (never loop, ram,
//    zram, dm, md, sr), sorted by kernel name and numbered 0..25 in that order;
//  - bus type from the resolved sysfs device path: usb → 7, nvme → 17, libata → 11 (3 when
//    the host driver is a pata_* driver or the disk an old hd* one), mmcblk → 12,
//    virtio → 14, other SCSI hosts → 1;
//  - descriptor texts from device/vendor, device/model, device/rev and the unit serial
//    (VPD page 80h, else device/serial); NVMe firmware from device/firmware_rev;
//  - volumes from mountinfo by device number, labels from /dev/disk/by-label, free and
//    total space from statvfs;
//  - USB facts from the USB device above the disk (idVendor, idProduct, serial, speed,
//    busnum, devnum; the disk's device/type) and the devices under /sys/bus/usb/devices;
//  - what keeps a disk from being erased: partitions and holders in sysfs, mounts in
//    mountinfo, swap in /proc/swaps, libblkid signatures on the disk and its partitions,
//    other processes' open descriptors in /proc/PID/fd, and a trial O_EXCL open.
namespace ds {

class LinuxDiskSystem : public DiskSystem {
 public:
  // `root` is the folder that stands for "/" (a trailing "/" is added when missing).
  explicit LinuxDiskSystem(std::string root = "/");

  void Rescan() override;
  std::vector<VolumeFacts> ListVolumes() override;
  bool ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                             std::string* message) override;
  std::vector<UsbDeviceFacts> ListUsbDevices() override;
  bool QueryStorageDescriptor(int driveNumber, StorageDescriptorFacts* facts) override;
  std::unique_ptr<AtaDevice> Open(int driveNumber, const AtaOpenMode& mode,
                                  std::string* message) override;
  Status CheckAccess() override;
  // The device node: "/dev/sda" (under the root folder).
  std::string DiskKey(int driveNumber) override;
  std::vector<DiskUse> FindDiskUses(int driveNumber) override;
  // From the USB device above the disk; its appearance is the device's sysfs folder with
  // its bus and device numbers, because the kernel gives a device a new device number each
  // time it is plugged in but keeps it through a reset.
  std::optional<UsbDiskFacts> UsbDiskOf(int driveNumber) override;

  // The kernel names of the disks in drive-number order (after the last Rescan).
  std::vector<std::string> DiskNames();

 private:
  struct Disk {
    std::string name;        // "sda"
    std::string devicePath;  // resolved sysfs folder of the block device, under root
  };
  // The disks of the last scan (scanning first when there was none). A scan replaces the
  // list as a whole, so a caller's copy stays whole while another thread rescans (the monitor
  // enumerates beside the window's reads).
  std::shared_ptr<const std::vector<Disk>> Disks();
  std::optional<Disk> DiskAt(int driveNumber);
  int BusTypeOf(const Disk& disk) const;
  std::string UsbDeviceFolderOf(const Disk& disk) const;

  std::string root_;
  mutable std::mutex mutex_;                        // guards disks_
  std::shared_ptr<const std::vector<Disk>> disks_;  // null until the first scan
  DeviceGateTable gates_;
  UsbBridgeTable bridges_;
};

// Splits one /proc/self/mountinfo line into device number, mount point (octal escapes
// decoded) and file-system type. False for a line that does not have that shape.
struct MountInfoEntry {
  std::string deviceNumber;  // "8:1"
  std::string mountPoint;
  std::string fileSystem;
};
bool ParseMountInfoLine(const std::string& line, MountInfoEntry* entry);

// Decodes the \ooo (octal) escapes of mountinfo and the \xHH escapes of udev link names.
std::string DecodeEscapes(const std::string& text);

}  // namespace ds
