#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "platform/task_file.h"

// One open disk that takes ATA commands, and the opener that hands such disks out by
// drive number. The real disk (linux/linux_ata_device.h) and the simulated one
// (sim/simulated_disk.h) both implement it; everything above the platform layer only
// sees these interfaces.
namespace ds {

// One ATA command as it goes to the device.
struct AtaCommand {
  TaskFile registers;
  // The "previous" (high-order) bytes of a 48-bit command: features, sector count and the
  // three LBA bytes; ignored unless `extended` is set.
  TaskFile previousRegisters;
  bool extended = false;
  AtaProtocol protocol = AtaProtocol::kNonData;
  // Data-in commands fill it; data-out commands send it. Empty for non-data commands.
  // Its size is the transfer length.
  std::span<std::uint8_t> data;
  // Time-out of the whole command in milliseconds; 0 or less takes the default.
  int timeoutMs = kDefaultTimeoutMs;

  static constexpr int kDefaultTimeoutMs = 10000;
};

// What came back from one command.
struct AtaResult {
  // The command reached the device and its registers are in `registers`. False is a
  // transport failure (no rights, no such device, refused by the driver, time-out,
  // short transfer); then `osError` and `osErrorText` say why. An ATA error (ERR in the
  // status) is not a transport failure: it is reported with `transportOk` true.
  bool transportOk = false;
  // error, sector count, LBA bytes, device, status.
  TaskFile registers;
  // High-order bytes returned by a 48-bit command.
  TaskFile previousRegisters;
  // Bytes the data phase actually moved.
  std::size_t transferred = 0;
  // errno-style number of a transport failure, 0 otherwise.
  int osError = 0;
  // One line describing a transport failure, "" otherwise.
  std::string osErrorText;
};

// How a caller wants the disk opened (the open flags the drive operations ask for).
struct AtaOpenMode {
  bool readWrite = true;      // read and write access, else read-only
  bool noBuffering = false;   // bypass the page cache
  bool writeThrough = false;  // every write reaches the medium before it returns
  // The only handle of the disk: no other open while it is held, and no holding it while
  // another is open (O_EXCL on a block device: a mounted partition also stands in the way).
  bool exclusive = false;
  // Opens a disk that is marked busy (DiskSystem::MarkBusy); only the eraser that holds
  // the mark asks for it.
  bool eraserAccess = false;
};

// An open handle to one disk. Each drive operation opens its own and drops it when done.
// Commands to one disk are serialised across all its handles; a caller that must keep a
// sequence of commands together (the vendor key sequence) holds HoldExclusive() around it.
class AtaDevice {
 public:
  virtual ~AtaDevice() = default;

  // Sends one command through the ATA pass-through.
  virtual AtaResult Execute(const AtaCommand& command) = 0;

  // Sends one command through the SMART driver path (the disk driver's own SMART
  // interface rather than the pass-through). `dataIn` receives sectorCount × 512 bytes
  // for data commands (READ DATA, READ THRESHOLDS, IDENTIFY) and is empty for the
  // others. Success means the driver accepted and completed the command; a device
  // abort is a failure with osError set.
  virtual AtaResult SmartDriverCommand(const TaskFile& registers,
                                       std::span<std::uint8_t> dataIn) = 0;

  // False when the driver is known to refuse ATA pass-through (callers may go straight
  // to the SMART driver path).
  virtual bool PassThroughAvailable() const = 0;

  // True when a read of log `address` was rejected by the USB bridge the disk sits behind;
  // the log is then unsupported on this disk until it is plugged in again.
  virtual bool BridgeRefusedLog(std::uint8_t /*address*/) const { return false; }

  // Keeps every other handle of the same disk from sending commands until the returned
  // lock is released. Re-entrant on the holding thread.
  virtual std::unique_lock<std::recursive_mutex> HoldExclusive() = 0;

  // The device path or simulated drive folder, for messages.
  virtual const std::string& name() const = 0;

  // Writes out what the operating system holds in its own cache for the disk and drops
  // the cached blocks, so that nothing cached is written over, or read instead of, what
  // ATA commands changed behind its back. False with `message` set when it cannot.
  virtual bool FlushCaches(std::string* /*message*/) { return true; }
};

// Opens disks by drive number (0..25 in the order the disk system numbers them).
class AtaDeviceOpener {
 public:
  virtual ~AtaDeviceOpener() = default;
  // Null with `message` set when the drive does not exist or cannot be opened.
  virtual std::unique_ptr<AtaDevice> Open(int driveNumber, const AtaOpenMode& mode,
                                          std::string* message) = 0;
};

}  // namespace ds
