#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "drive/drive_record.h"
#include "drive/identify_decoder.h"
#include "platform/ata_device.h"
#include "platform/disk_system.h"

// Security erase: wipes a whole disk, first by trimming every sector (DATA SET MANAGEMENT
// TRIM), and when a read-back shows that the TRIM did not clear it (or the disk refused
// it), through the ATA security feature set (SET PASSWORD, ERASE PREPARE, ERASE UNIT).
// Only the disk that was chosen, only when nothing uses it, with one exclusive handle
// from the first command to the last, and never leaving the erase password set.
namespace ds {

// The disk the user chose, as it was when chosen. The erase refuses to start when the
// disk it finds under the same number is not this one.
struct EraseTarget {
  int driveNumber = -1;
  std::string diskKey;  // DiskSystem::DiskKey when chosen: "/dev/sdb"
  std::string model;
  std::string serial;  // IDENTIFY serial, trimmed
  std::uint64_t sectorCount = 0;
};

inline constexpr const char* kNoEraseBehindUsbBridge =
    "Secure erase is not offered for disks behind a USB bridge.";

// The target for a kept disk of the current enumeration. False with `message` set when
// the record names no disk, a disk behind a USB bridge, or one without a serial or size to
// check it by.
bool CaptureEraseTarget(DiskSystem& disks, const DriveRecord& record, EraseTarget* target,
                        std::string* message);

enum class EraseResult {
  kErased,                  // erased, and a read-back found only zeros
  kRefused,                 // nothing that changes the disk was sent
  kFailed,                  // not (wholly) erased; no password is left set
  kFailedPasswordMaybeSet,  // not erased, and the erase password may still be set
};

struct EraseOutcome {
  EraseResult result = EraseResult::kRefused;
  std::string method;   // "TRIM" or "SECURITY ERASE UNIT" when erased
  std::string message;  // for the user: what was done, or why not
};

// What the erase tells its caller while it runs; either may be empty. Both are called on
// the erasing thread.
struct EraseCallbacks {
  // Percent done: the TRIM pass in steps of at least 20, the security erase 33 and 66,
  // 100 once the erase is verified. Never goes down.
  std::function<void(int percent)> progress;
  // True right before the first security command, false once the disk's security state is
  // settled again. In between the erase must be left to finish: stopping half-way could
  // leave the disk locked with a password.
  std::function<void(bool inside)> securityPhase;
};

// "" when disk N may be erased; kNoEraseBehindUsbBridge for a disk behind a USB bridge; else
// "Please remove the file system first!" followed by one line per finding (partitions, signatures,
// mounts, holders, other users). The window asks before it starts the worker; the erase asks again
// right before its first command.
std::string EraseRefusal(DiskSystem& disks, int driveNumber);

// The erase worker's job, from the checks to the verified result. `stop` is honoured
// between TRIM blocks and before the security erase starts, never inside it.
EraseOutcome RunSecureErase(DiskSystem& disks, const EraseTarget& target,
                            const EraseCallbacks& callbacks, std::stop_token stop = {});

// The steps, on a disk opened by the caller.

// Trims sectors 0 .. sectorCount-1, one 64-entry block per command, reporting progress
// in steps of at least 20 (never 100: the caller says when the disk is done). False with
// `message` set when the disk refuses a block or `stop` is requested.
bool TrimWholeDisk(AtaDevice& device, std::uint64_t sectorCount,
                   const std::function<void(int)>& progress, std::stop_token stop,
                   std::string* message);

// Reads back the first and last MiB and 256 sectors spread over the disk. True when all
// of it is zeros; else `message` names the first sector that holds data or could not be
// read. `sectorsRead` receives how many sectors were read.
bool ReadBackFindsOnlyZeros(AtaDevice& device, const IdentifyWords& identify,
                            std::uint64_t sectorCount, std::uint64_t* sectorsRead,
                            std::string* message);

struct SecurityEraseOutcome {
  bool erased = false;  // ERASE UNIT completed and the password is gone again
  bool passwordMaybeSet = false;
  std::string message;
};

// SET PASSWORD, ERASE PREPARE, ERASE UNIT with the erase password, after checking in
// IDENTIFY that the disk supports the security feature set and is not frozen, locked or
// already protected by a password. When a step after SET PASSWORD fails, the password is
// removed again (UNLOCK when the disk is locked, then DISABLE PASSWORD) and the message
// says whether that worked.
SecurityEraseOutcome SecurityEraseDisk(AtaDevice& device, const std::function<void(int)>& progress,
                                       const std::function<void(bool)>& securityPhase);

}  // namespace ds
