#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ata_device.h"
#include "platform/busy_mark.h"
#include "platform/usb_bridge.h"
#include "text/status.h"

namespace ds {

// A mounted file system on a disk or one of its partitions; on this platform the mount
// point plays the part of a drive letter.
struct VolumeFacts {
  int driveNumber = -1;          // the whole disk that holds the volume
  std::string mountPoint;        // "/", "/home", "/media/usb"
  bool infoReadable = false;     // label and file system could be read
  std::string label;             // "" when the file system has none
  std::string fileSystem;        // "ext4", "vfat", ...
  bool removable = false;        // the disk is a removable medium
  std::uint64_t freeBytes = 0;   // space available to the user (0 when unknown)
  std::uint64_t totalBytes = 0;  // size of the file system (0 when unknown)
};

// A disk interface whose enumerator is "usbstor": a USB mass-storage disk and the instance
// id of its device path (the device's serial number followed by "&0").
struct StorageInterfaceFacts {
  int driveNumber = -1;
  std::string enumerator;  // "usbstor", "scsi", "ide", "nvme", ...
  std::string instanceId;
};

// A device found on the USB buses: what the hub walk reads from its device descriptor.
struct UsbDeviceFacts {
  std::string serial;  // "" when the descriptor has no serial-number string
  bool lowSpeed = false;
  std::uint32_t vendorId = 0;
  std::uint32_t productId = 0;
};

// The storage descriptor of a physical disk: identity texts as the storage stack reports
// them, the bus type in the 1-17 numbering, and the capacity.
struct StorageDescriptorFacts {
  std::string vendor;
  std::string product;
  std::string revision;
  std::string serial;
  int rawBusType = 0;  // as reported; the enumeration maps it into 0-18
  std::uint64_t sizeBytes = 0;
};

// One thing that stands in the way of erasing a disk: something on it that someone may
// still want, or someone who still uses it.
struct DiskUse {
  enum class Kind {
    kPartition,      // the disk is partitioned
    kSignature,      // a file system, partition table, LVM or RAID member or swap signature
    kMount,          // a file system or swap of the disk is in use
    kHolder,         // a device mapper, RAID or other block device is built on it
    kOpenElsewhere,  // another process has the disk or a partition open
    kNotExclusive,   // the disk cannot be opened exclusively
    kNotChecked,     // the checks themselves could not be made
  };
  Kind kind = Kind::kNotChecked;
  std::string detail;  // one line for messages: "/dev/sda1 is mounted on /home"
};

// The machine's disks as the drive enumeration needs them. Disks are numbered 0..25 (the N
// of a physical drive); each pass of the enumeration asks one of these questions, and each
// may fail for one disk (unplugged, unreadable) without stopping the others. Open() (from
// AtaDeviceOpener) gives a disk for ATA commands. The real implementation reads sysfs and
// mountinfo; the simulated one a folder of drive folders.
class DiskSystem : public AtaDeviceOpener {
 public:
  // Takes a fresh look at which disks exist. The numbering holds until the next call, so
  // the passes of one enumeration agree on what number N means.
  virtual void Rescan() = 0;

  // Mounted volumes, each tied to its whole disk.
  virtual std::vector<VolumeFacts> ListVolumes() = 0;

  // Disk device interfaces. False (with `message`) when the list cannot be made at all.
  virtual bool ListStorageInterfaces(std::vector<StorageInterfaceFacts>* interfaces,
                                     std::string* message) = 0;

  // USB devices of every bus, hubs walked.
  virtual std::vector<UsbDeviceFacts> ListUsbDevices() = 0;

  // The storage descriptor of disk N; false when there is no such disk or it cannot answer.
  virtual bool QueryStorageDescriptor(int driveNumber, StorageDescriptorFacts* facts) = 0;

  // Ok when this process may send commands to the disks, else failed with why not (for
  // example no rights to the device files).
  virtual Status CheckAccess() = 0;

  // How many disks the last look found beyond the 26 that are numbered (and shown).
  int unnumberedDisks() const { return unnumberedDisks_; }

  // A name of disk N that stays its own while it is plugged in, whatever a rescan does to
  // the numbering: its device node or simulated drive folder. "" when there is no disk N.
  virtual std::string DiskKey(int /*driveNumber*/) { return {}; }

  // The USB device disk N sits behind, or none for a disk on another bus. Open() of such a
  // disk sends its commands through the bridge of this appearance (usb_bridge.h).
  virtual std::optional<UsbDiskFacts> UsbDiskOf(int /*driveNumber*/) { return std::nullopt; }

  // Everything that keeps disk N from being erased; empty when nothing does. A disk
  // system that cannot tell says so with a kNotChecked entry.
  virtual std::vector<DiskUse> FindDiskUses(int driveNumber);

  // Marks disk N busy while it is erased: until the mark is dropped, Open() of the disk
  // fails unless the open mode asks for eraserAccess. Empty (false) when there is no disk N
  // or it is already marked.
  BusyMark MarkBusy(int driveNumber);
  bool IsBusy(int driveNumber);

 protected:
  // The message of an Open() refused because the disk is being erased.
  static std::string BusyMessage(int driveNumber);

 private:
  std::shared_ptr<BusyDiskTable> busy_ = std::make_shared<BusyDiskTable>();

 protected:
  int unnumberedDisks_ = 0;
};

}  // namespace ds
