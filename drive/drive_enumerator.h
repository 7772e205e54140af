#pragma once

#include <array>
#include <vector>

#include "drive/drive_record.h"
#include "drive/message_sink.h"
#include "platform/disk_system.h"

namespace ds {

// Finds the machine's physical disks and fills one DriveRecord slot per drive number, in
// five passes: volumes (mount points, labels, file systems), disk interfaces (USB
// mass-storage serials), removable volumes (USB vendor/product/revision), USB devices
// (speed and ids matched by serial), and physical drives (IDENTIFY through the SMART
// driver path, or the pass-through when no disk answered there; storage descriptor and bus
// type; NVMe identity and size). A disk or volume that fails is skipped; the passes always
// run to the end.
class DriveEnumerator {
 public:
  // `messages` receives "SetupDiGetClassDevs Failed." when the disk interfaces cannot be
  // listed. IDENTIFY goes to the disks `commands` opens (null: `disks` itself).
  DriveEnumerator(DiskSystem& disks, MessageSink messages, AtaDeviceOpener* commands = nullptr);

  void Enumerate();

  int GetPhysicalDriveCount() const { return static_cast<int>(physicalDriveList_.size()); }
  // The i-th drive number whose storage descriptor answered, ascending; -1 out of range.
  int GetPhysicalDriveNumber(int i) const;

  const DriveRecord& slot(int driveNumber) const { return slots_.at(driveNumber); }
  int volumeCount() const { return volumeCount_; }
  int identifyCount() const { return identifyCount_; }
  bool isUsbStorage(int driveNumber) const { return isUsbStorage_.at(driveNumber); }

 private:
  void Clear();
  void ReadVolumes();
  void ReadStorageInterfaces();
  void ReadRemovableVolumes();
  void ReadUsbDevices();
  void ReadPhysicalDrives();
  bool IdentifyThroughSmartDriver(int driveNumber);
  bool IdentifyThroughPassThrough(int driveNumber);
  void ReadStorageDescriptor(int driveNumber);

  DiskSystem& disks_;
  AtaDeviceOpener& commands_;
  MessageSink messages_;
  std::array<DriveRecord, kMaxPhysicalDrives> slots_;
  std::array<bool, kMaxPhysicalDrives> isUsbStorage_{};
  std::vector<int> physicalDriveList_;
  std::vector<VolumeFacts> volumes_;
  int volumeCount_ = 0;
  int identifyCount_ = 0;
};

// The program's list of disks: the ATA (3) and SATA (11) disks of one enumeration, in
// drive-number order. The position in `drives` is the disk index used everywhere else
// (selected disk, disk_sel cookie, history folders).
struct DriveList {
  int driveCount = 0;
  std::vector<int> driveIndexMap;  // drive number of each kept disk
  std::vector<DriveRecord> drives;
  int enumeratedCount = 0;  // disks whose storage descriptor answered, kept or not
};

// Runs a fresh enumeration and keeps the ATA and SATA disks.
DriveList RefreshDriveList(DiskSystem& disks, const MessageSink& messages,
                           AtaDeviceOpener* commands = nullptr);

}  // namespace ds
