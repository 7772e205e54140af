#include "platform/usb_bridge.h"

#include <array>
#include <cerrno>
#include <cstdio>

namespace ds {

namespace {

// Bridges measured on our own benches. None has needed an entry so far: QEMU's usb-storage
// disk (46f4:0001) rejects both blocks with ILLEGAL REQUEST, which the probe finds by
// itself in one round trip.
constexpr std::array<UsbBridgeQuirk, 0> kMeasuredBridges{};

constexpr std::uint8_t kAtaReadLogDmaExt = 0x47;
constexpr std::uint8_t kAtaReadVerify = 0x40;
constexpr std::uint8_t kAtaReadVerifyExt = 0x42;
constexpr std::uint8_t kSmartAutosave = 0xD2;
constexpr std::uint8_t kSmartExecuteOffline = 0xD4;

AtaResult Refused(int osError, std::string text) {
  AtaResult result;
  result.osError = osError;
  result.osErrorText = std::move(text);
  return result;
}

bool IsIllegalRequest(const AtaResult& result) {
  return !result.transportOk && result.osError == EOPNOTSUPP;
}

bool IsTimeOut(const AtaResult& result) {
  return !result.transportOk && result.osError == ETIMEDOUT;
}

}  // namespace

std::string UsbSpeedName(const std::string& mbps) {
  if (mbps == "1.5")
    return "Low speed";
  if (mbps == "12")
    return "Full speed";
  if (mbps == "480")
    return "High speed";
  if (mbps == "5000")
    return "SuperSpeed";
  if (mbps == "10000" || mbps == "20000")
    return "SuperSpeed+";
  return {};
}

std::string UsbIdText(const UsbDiskFacts& facts) {
  char text[32];
  std::snprintf(text, sizeof text, "VID:PID %04x:%04x", facts.vendorId & 0xFFFFu,
                facts.productId & 0xFFFFu);
  return text;
}

const UsbBridgeQuirk* FindUsbBridgeQuirk(std::uint32_t vendorId, std::uint32_t productId) {
  return FindUsbBridgeQuirk(vendorId, productId, kMeasuredBridges);
}

const UsbBridgeQuirk* FindUsbBridgeQuirk(std::uint32_t vendorId, std::uint32_t productId,
                                         std::span<const UsbBridgeQuirk> table) {
  for (const UsbBridgeQuirk& quirk : table) {
    if (quirk.vendorId == vendorId && quirk.productId == productId)
      return &quirk;
  }
  return nullptr;
}

bool AllowedThroughBridge(const AtaCommand& command) {
  const TaskFile& r = command.registers;
  switch (r.command) {
    case kAtaIdentifyDevice:
    case kAtaIdentifyPacketDevice:
    case kAtaCheckPowerMode:
    case kAtaReadLogExt:
    case kAtaReadLogDmaExt:
    case kAtaReadSectors:
    case kAtaReadSectorsExt:
    case kAtaReadDma:
    case kAtaReadDmaExt:
    case kAtaReadVerify:
    case kAtaReadVerifyExt:
      return true;
    case kAtaSmart:
      switch (r.features) {
        case kSmartReadData:
        case kSmartReadThresholds:
        case kSmartAutosave:
        case kSmartExecuteOffline:  // off-line data collection and self-tests
        case kSmartReadLog:
        case kSmartEnableOperations:
        case kSmartReturnStatus:
          return true;
        default:
          return false;
      }
    default:
      return false;
  }
}

std::optional<std::uint8_t> LogReadAddress(const AtaCommand& command) {
  const TaskFile& r = command.registers;
  if (r.command == kAtaReadLogExt || r.command == kAtaReadLogDmaExt ||
      (r.command == kAtaSmart && r.features == kSmartReadLog)) {
    return r.sectorNumber;
  }
  return std::nullopt;
}

AtaResult SmartDriverCommandThroughBridge(AtaDevice& device, const TaskFile& registers,
                                          std::span<std::uint8_t> dataIn) {
  AtaCommand command;
  command.registers = registers;
  command.protocol = dataIn.empty() ? AtaProtocol::kNonData : AtaProtocol::kPioDataIn;
  command.data = dataIn;
  AtaResult result = device.Execute(command);
  if (result.transportOk && (result.registers.status() & (kAtaStatusErr | kAtaStatusDf)) != 0) {
    result.transportOk = false;
    result.osError = EIO;
    result.osErrorText = device.name() + ": the device aborted the command";
  }
  return result;
}

UsbBridge::UsbBridge(const UsbBridgeQuirk* quirk, std::string refusal) : quirk_(quirk) {
  if (quirk_ && quirk_->bad && refusal.empty())
    refusal = "it is a bridge known to pass no ATA command";
  if (!refusal.empty()) {
    MutexLock lock(mutex_);
    path_ = BridgePath::kNone;
    reason_ = std::move(refusal);
  }
}

AtaResult UsbBridge::GiveUp(const std::string& why, AtaResult result) {
  path_ = BridgePath::kNone;
  reason_ = why;
  if (!result.osErrorText.empty())
    reason_ += " (" + result.osErrorText + ")";
  result.osErrorText = reason_;  // the same words now as for every later command
  return result;
}

AtaResult UsbBridge::Execute(const AtaCommand& command, const Sender& send) {
  MutexLock lock(mutex_);
  if (!AllowedThroughBridge(command)) {
    return Refused(EPERM, "this command is not sent to a disk behind a USB bridge");
  }
  if (path_ == BridgePath::kNone)
    return Refused(EOPNOTSUPP, reason_);
  const std::optional<std::uint8_t> log = LogReadAddress(command);
  if (log && refusedLogs_.count(*log)) {
    return Refused(EOPNOTSUPP, "the USB bridge rejected reads of this log before");
  }
  const bool only12 = path_ == BridgePath::kPasses12 || (quirk_ && quirk_->force12);
  if (only12 && command.extended) {
    if (log)
      refusedLogs_.insert(*log);
    return Refused(EOPNOTSUPP,
                   "a 48-bit command needs ATA PASS-THROUGH (16), which this "
                   "USB bridge does not take");
  }
  const SatCdbLength length = only12 ? SatCdbLength::k12 : SatCdbLength::k16;
  ++sent_;
  AtaResult result = send(command, length);
  if (IsTimeOut(result))
    return GiveUp("a command timed out", std::move(result));
  if (IsIllegalRequest(result)) {
    if (path_ == BridgePath::kUnprobed && length == SatCdbLength::k16 && !command.extended) {
      ++sent_;
      AtaResult shorter = send(command, SatCdbLength::k12);
      if (IsTimeOut(shorter)) {
        return GiveUp("ATA PASS-THROUGH (12) timed out", std::move(shorter));
      }
      if (IsIllegalRequest(shorter)) {
        shorter.osErrorText.clear();  // the device's words add nothing here
        return GiveUp("it rejected ATA PASS-THROUGH (16) and (12) with ILLEGAL REQUEST",
                      std::move(shorter));
      }
      if (shorter.transportOk)
        path_ = BridgePath::kPasses12;
      return shorter;
    }
    if (log && path_ != BridgePath::kUnprobed) {
      refusedLogs_.insert(*log);  // the bridge passes commands, just not this log read
      return result;
    }
    return GiveUp("it rejected ATA PASS-THROUGH with ILLEGAL REQUEST", std::move(result));
  }
  // A probe that fails in transport otherwise (an aborted or reset command, a short
  // transfer) is no answer either; missing rights or a vanished device say nothing of it.
  if (path_ == BridgePath::kUnprobed && !result.transportOk && result.osError != EPERM &&
      result.osError != EACCES && result.osError != ENODEV && result.osError != ENXIO) {
    return GiveUp("the first command failed", std::move(result));
  }
  if (result.transportOk && path_ == BridgePath::kUnprobed)
    path_ = length == SatCdbLength::k12 ? BridgePath::kPasses12 : BridgePath::kPasses16;
  return result;
}

BridgePath UsbBridge::path() const {
  MutexLock lock(mutex_);
  return path_;
}

std::string UsbBridge::reason() const {
  MutexLock lock(mutex_);
  return reason_;
}

bool UsbBridge::LogRefused(std::uint8_t address) const {
  MutexLock lock(mutex_);
  return refusedLogs_.count(address) != 0;
}

int UsbBridge::sentCount() const {
  MutexLock lock(mutex_);
  return sent_;
}

std::shared_ptr<UsbBridge> UsbBridgeTable::BridgeFor(const UsbDiskFacts& facts) {
  MutexLock lock(mutex_);
  std::shared_ptr<UsbBridge>& bridge = bridges_[facts.appearance];
  if (!bridge) {
    std::string refusal;
    if (!facts.directAccess) {
      refusal = "it is not a direct-access disk (SCSI device type " +
                std::to_string(facts.scsiType) + ")";
    }
    bridge = std::make_shared<UsbBridge>(FindUsbBridgeQuirk(facts.vendorId, facts.productId),
                                         std::move(refusal));
  }
  return bridge;
}

}  // namespace ds
