#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "platform/ata_device.h"
#include "platform/usb_bridge.h"

// A handle on a simulated disk that sits behind a simulated USB bridge: the bridge answers
// each ATA PASS-THROUGH block the way its kind says, and passes what it takes on to the
// disk. The probing, the fallback to 12 bytes and the giving up are the real UsbBridge's.
namespace ds {

// How a simulated bridge answers (description key usb_bridge=sat16|sat12|none|timeout).
enum class SimulatedBridgeKind { kPasses16, kNeeds12, kRejects, kTimesOut };

class SimulatedBridgedDevice : public AtaDevice {
 public:
  SimulatedBridgedDevice(std::unique_ptr<AtaDevice> disk, std::shared_ptr<UsbBridge> bridge,
                         SimulatedBridgeKind kind, bool rejectsLogs)
      : disk_(std::move(disk)),
        bridge_(std::move(bridge)),
        kind_(kind),
        rejectsLogs_(rejectsLogs) {}

  AtaResult Execute(const AtaCommand& command) override {
    // The disk's lock before the bridge's, as HoldExclusive() callers take them.
    std::unique_lock<std::recursive_mutex> serialised = disk_->HoldExclusive();
    return bridge_->Execute(
        command, [this](const AtaCommand& c, SatCdbLength length) { return Answer(c, length); });
  }
  AtaResult SmartDriverCommand(const TaskFile& registers, std::span<std::uint8_t> dataIn) override {
    return SmartDriverCommandThroughBridge(*this, registers, dataIn);
  }
  bool PassThroughAvailable() const override { return bridge_->path() != BridgePath::kNone; }
  bool BridgeRefusedLog(std::uint8_t address) const override {
    return bridge_->LogRefused(address);
  }
  std::unique_lock<std::recursive_mutex> HoldExclusive() override { return disk_->HoldExclusive(); }
  const std::string& name() const override { return disk_->name(); }

 private:
  AtaResult Answer(const AtaCommand& command, SatCdbLength length) {
    AtaResult refused;
    if (kind_ == SimulatedBridgeKind::kTimesOut) {
      refused.osError = ETIMEDOUT;
      refused.osErrorText =
          name() + ": the command timed out after " + std::to_string(command.timeoutMs) + " ms";
      return refused;
    }
    if (kind_ == SimulatedBridgeKind::kRejects ||
        (kind_ == SimulatedBridgeKind::kNeeds12 && length == SatCdbLength::k16) ||
        (rejectsLogs_ && LogReadAddress(command))) {
      refused.osError = EOPNOTSUPP;
      refused.osErrorText = name() + ": the driver refused the ATA pass-through (sense key 0x05)";
      return refused;
    }
    return disk_->Execute(command);
  }

  std::unique_ptr<AtaDevice> disk_;
  std::shared_ptr<UsbBridge> bridge_;
  SimulatedBridgeKind kind_;
  bool rejectsLogs_;
};

}  // namespace ds
