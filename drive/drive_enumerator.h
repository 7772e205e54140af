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
// run to the end. A disk behind a USB bridge gets no SMART driver command: it is asked for
// IDENTIFY through the bridge (5 s time-out); one that answers is named by its IDENTIFY
// data, never by the reader, and one that does not is noted with the reason.
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
  // True when disk N is behind a USB bridge that answered IDENTIFY.
  bool answeredThroughBridge(int driveNumber) const { return bridgeAnswered_.at(driveNumber); }
  // Why the USB disk N cannot be read ("" when it can, or is no USB disk).
  const std::string& bridgeProblem(int driveNumber) const {
    return bridgeProblems_.at(driveNumber);
  }

 private:
  void Clear();
  void ReadVolumes();
  void ReadStorageInterfaces();
  void ReadRemovableVolumes();
  void ReadUsbDevices();
  void ReadPhysicalDrives();
  bool IdentifyThroughSmartDriver(int driveNumber);
  bool IdentifyThroughPassThrough(int driveNumber);
  void IdentifyThroughBridge(int driveNumber, const UsbDiskFacts& usb);
  void ReadStorageDescriptor(int driveNumber);

  DiskSystem& disks_;
  AtaDeviceOpener& commands_;
  MessageSink messages_;
  std::array<DriveRecord, kMaxPhysicalDrives> slots_;
  std::array<bool, kMaxPhysicalDrives> isUsbStorage_{};
  std::array<bool, kMaxPhysicalDrives> bridgeAnswered_{};
  std::array<std::string, kMaxPhysicalDrives> bridgeProblems_;
  std::vector<int> physicalDriveList_;
  std::vector<VolumeFacts> volumes_;
  int volumeCount_ = 0;
  int identifyCount_ = 0;
};

// A USB disk the program cannot read, with the reason.
struct UnreachableUsbDisk {
  int driveNumber = -1;
  std::string name;    // the reader's or enclosure's vendor and product texts
  std::string reason;  // "S.M.A.R.T. is not reachable through this USB bridge (VID:PID ...): ..."
};

// The program's list of disks: the ATA (3) and SATA (11) disks of one enumeration and the
// USB disks whose bridge answered, in drive-number order. The position in `drives` is the disk
// index used everywhere else (selected disk, disk_sel cookie, history folders).
struct DriveList {
  int driveCount = 0;
  std::vector<int> driveIndexMap;  // drive number of each kept disk
  std::vector<DriveRecord> drives;
  int enumeratedCount = 0;  // disks whose storage descriptor answered, kept or not
  std::vector<UnreachableUsbDisk> unreachableUsbDisks;
};

// Runs a fresh enumeration and keeps the ATA and SATA disks and the readable USB ones.
DriveList RefreshDriveList(DiskSystem& disks, const MessageSink& messages,
                           AtaDeviceOpener* commands = nullptr);

}  // namespace ds
