#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

#include "platform/ata_device.h"
#include "platform/mutex.h"

// A disk behind a USB–SATA bridge (a card reader, an enclosure): what the USB device says
// of itself, and what its bridge passes of the SCSI/ATA Translation. A bridge is probed
// with its first command: ATA PASS-THROUGH (16), then (12) when the bridge rejects 16.
// After a failed probe, or one time-out or ILLEGAL REQUEST later (a rejected log read
// only marks that log), it gets no more pass-through for as long as that appearance of the
// device lasts (a time-out makes the kernel reset the device, which may
// hold a mounted file system). Only commands that read, plus the S.M.A.R.T. commands, go
// through at all: nothing that erases or writes user sectors is sent through a bridge.
namespace ds {

// What the USB device above a disk reports.
struct UsbDiskFacts {
  std::uint32_t vendorId = 0;
  std::uint32_t productId = 0;
  std::string speed;  // Mbit/s as the kernel gives it: "1.5", "12", "480", "5000", "10000"
  // SCSI peripheral device type 0: a plain disk. Anything else (5 is an optical drive,
  // whose BLANK command shares ATA PASS-THROUGH (12)'s opcode) gets no pass-through.
  bool directAccess = false;
  int scsiType = -1;
  // Names this appearance of the device: it changes when the device is unplugged and
  // plugged in again, but not when the kernel resets it.
  std::string appearance;
};

// "Low speed", "Full speed", "High speed", "SuperSpeed", "SuperSpeed+"; "" when unknown.
std::string UsbSpeedName(const std::string& mbps);

// "VID:PID 46f4:0001".
std::string UsbIdText(const UsbDiskFacts& facts);

// A bridge we measured ourselves.
struct UsbBridgeQuirk {
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  bool force12 = false;  // takes only ATA PASS-THROUGH (12)
  bool bad = false;      // passes no ATA command: never tried
};

// The measured bridge with these ids in `table` (ours by default), or none.
const UsbBridgeQuirk* FindUsbBridgeQuirk(std::uint32_t vendorId, std::uint32_t productId);
const UsbBridgeQuirk* FindUsbBridgeQuirk(std::uint32_t vendorId, std::uint32_t productId,
                                         std::span<const UsbBridgeQuirk> table);

enum class SatCdbLength : std::uint8_t { k16, k12 };

enum class BridgePath : std::uint8_t {
  kUnprobed,
  kPasses16,
  kPasses12,
  kNone,  // no more pass-through for this appearance
};

// True for the commands a bridge may carry: IDENTIFY, the S.M.A.R.T. reads, enable and
// status, the off-line data collection and self-tests (SMART EXECUTE OFF-LINE stays
// allowed, so a self-test can be started through a bridge), log reads, sector reads and
// CHECK POWER MODE. Writes, TRIM, the security set and the rest are refused.
bool AllowedThroughBridge(const AtaCommand& command);

// The log address when `command` reads a log (SMART READ LOG, READ LOG (DMA) EXT).
std::optional<std::uint8_t> LogReadAddress(const AtaCommand& command);

// A SMART driver path command (AtaDevice::SmartDriverCommand) sent as the ATA command it
// is, for a disk whose only path is the bridge: the driver path's meaning of success (a
// device abort is a failure) is kept.
AtaResult SmartDriverCommandThroughBridge(AtaDevice& device, const TaskFile& registers,
                                          std::span<std::uint8_t> dataIn);

// The bridge state of one appearance of one USB disk; shared by every handle on it.
class UsbBridge {
 public:
  // Sends one command as an ATA PASS-THROUGH block of the given length.
  using Sender = std::function<AtaResult(const AtaCommand&, SatCdbLength)>;

  // A `refusal` gives the bridge up from the start, with that reason.
  explicit UsbBridge(const UsbBridgeQuirk* quirk, std::string refusal = {});

  // Sends `command` through `send` with the block the bridge takes, probing it on the
  // first command; refuses (without sending) what a bridge may not carry, everything once
  // the bridge is given up, and a log read the bridge has rejected before.
  AtaResult Execute(const AtaCommand& command, const Sender& send) EXCLUDES(mutex_);

  BridgePath path() const EXCLUDES(mutex_);
  // Why the bridge passes nothing: "it rejected ATA PASS-THROUGH (16) and (12) with
  // ILLEGAL REQUEST"; "" while it passes.
  std::string reason() const EXCLUDES(mutex_);
  // True when a read of log `address` was rejected by the bridge.
  bool LogRefused(std::uint8_t address) const EXCLUDES(mutex_);
  // How many blocks went out through this bridge (probes included).
  int sentCount() const EXCLUDES(mutex_);

 private:
  // Gives the bridge up: `why`, with the failure's own words in brackets, becomes the reason
  // and the returned result's text.
  AtaResult GiveUp(const std::string& why, AtaResult result) REQUIRES(mutex_);

  mutable Mutex mutex_;
  const UsbBridgeQuirk* quirk_;
  BridgePath path_ GUARDED_BY(mutex_) = BridgePath::kUnprobed;
  std::string reason_ GUARDED_BY(mutex_);
  std::set<std::uint8_t> refusedLogs_ GUARDED_BY(mutex_);
  int sent_ GUARDED_BY(mutex_) = 0;
};

// One UsbBridge per appearance, kept by whoever opens the disks.
class UsbBridgeTable {
 public:
  std::shared_ptr<UsbBridge> BridgeFor(const UsbDiskFacts& facts) EXCLUDES(mutex_);

 private:
  Mutex mutex_;
  std::map<std::string, std::shared_ptr<UsbBridge>> bridges_ GUARDED_BY(mutex_);
};

}  // namespace ds
