#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/disk_system.h"
#include "platform/sim/simulated_disk.h"
#include "platform/sim/simulated_usb_bridge.h"
#include "platform/usb_bridge.h"

// A simulated machine: a folder with one sub-folder per physical drive, numbered in the
// order of the folder names (0, 1, ...; at most 26). A drive folder that holds
// identify.bin (with smart.bin and thresholds.bin) is an ATA disk that takes commands
// (see simulated_disk.h for those files and the ATA keys of description.dat); one
// without identify.bin answers the storage queries only (a USB bridge that passes no
// ATA commands, an NVMe disk).
//
// Enumeration keys of description.dat (all optional):
//   bus_type=N                  storage bus type as reported (default 11 SATA; 3 ATA,
//                               7 USB, 17 NVMe, 127 the reserved maximum)
//   vendor=, product=, revision=, descriptor_serial=
//                               storage descriptor texts (defaults: "ATA", the first
//                               16 characters of the IDENTIFY model, the IDENTIFY
//                               firmware, the IDENTIFY serial)
//   size_bytes=N                capacity (default: the disk's sectors × 512)
//   removable=0|1               a removable medium (default 0)
//   usb_serial=TEXT             serial string of the USB device (bus type 7); its disk
//                               interface gets the instance id TEXT + "&0"
//   usb_speed=MBPS              "1.5" (low speed), "12", "480" (default), "5000"
//   usb_vendor_id=0xVVVV, usb_product_id=0xPPPP
//   usb_bridge=sat16|sat12|none|timeout
//                               what the bridge of a USB drive with an ATA disk does with
//                               ATA PASS-THROUGH: passes 16-byte blocks (default), needs
//                               12-byte ones, rejects both (ILLEGAL REQUEST), times out
//   usb_bridge_rejects_logs=1   the bridge rejects every log read (ILLEGAL REQUEST)
//   scsi_type=N                 the USB disk's SCSI peripheral type (default 0, a disk)
//   volume_count=N              volumes 1..N follow:
//   volume_I_mount=PATH         mount point (required for the volume to exist)
//   volume_I_label=TEXT, volume_I_fs=TYPE
//   volume_I_unreadable=1       label and file system cannot be read
//   volume_I_free=BYTES, volume_I_total=BYTES
//   present=0                   the drive is unplugged: nothing answers for it
//
// What stands in the way of erasing the drive (FindDiskUses), besides its volumes:
//   partitions=LIST             partition names ("sdb1, sdb2")
//   signatures=LIST             signatures on the disk or a partition ("ext4, dos")
//   holders=LIST                block devices built on it ("dm-0")
//   opened_elsewhere=1          another process has the disk open
// A LIST is comma-separated.
namespace ds {

class SimulatedMachine : public DiskSystem {
 public:
  // Loads every drive folder of `folder`. Null with `message` set when the folder cannot
  // be listed or a drive folder's sectors or description do not load.
  static std::unique_ptr<SimulatedMachine> Load(const std::string& folder, std::string* message);

  void Rescan() override {}
  std::vector<VolumeFacts> ListVolumes() override;
  bool ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                             std::string* message) override;
  std::vector<UsbDeviceFacts> ListUsbDevices() override;
  bool QueryStorageDescriptor(int driveNumber, StorageDescriptorFacts* facts) override;
  std::unique_ptr<AtaDevice> Open(int driveNumber, const AtaOpenMode& mode,
                                  std::string* message) override;
  Status CheckAccess() override { return Status::Ok(); }
  // The drive folder's name.
  std::string DiskKey(int driveNumber) override;
  std::vector<DiskUse> FindDiskUses(int driveNumber) override;
  // The appearance counts how often the drive was plugged in.
  std::optional<UsbDiskFacts> UsbDiskOf(int driveNumber) override;

  // Blocks sent through the bridge of drive N's current appearance (0 when none).
  int BridgeBlocksSent(int driveNumber);

  // Plugs drive N in or out (tests of disks that vanish between passes).
  void SetPresent(int driveNumber, bool present);

  int driveCount() const { return static_cast<int>(drives_.size()); }
  // The ATA model of drive N, or null for a drive without one.
  std::shared_ptr<SimulatedDisk> disk(int driveNumber) const;
  // The folder name of drive N.
  std::string driveFolderName(int driveNumber) const;

 private:
  struct Drive {
    std::string folderName;
    std::shared_ptr<SimulatedDisk> disk;  // null: answers no ATA command
    bool present = true;
    StorageDescriptorFacts descriptor;
    bool removable = false;
    std::string usbSerial;
    UsbDeviceFacts usb;
    std::string usbSpeed;
    SimulatedBridgeKind bridgeKind = SimulatedBridgeKind::kPasses16;
    bool bridgeRejectsLogs = false;
    int scsiType = 0;
    int plugCount = 0;  // guarded by mutex_
    std::vector<VolumeFacts> volumes;
    std::vector<DiskUse> declaredUses;  // partitions, signatures, holders, other openers
  };
  SimulatedMachine() = default;
  const Drive* PresentDrive(int driveNumber) const;

  mutable std::mutex mutex_;  // guards `present`
  std::vector<Drive> drives_;
  UsbBridgeTable bridges_;
};

}  // namespace ds
