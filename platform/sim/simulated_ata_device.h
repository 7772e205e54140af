#pragma once

#include <memory>
#include <string>

#include "platform/ata_device.h"
#include "platform/sim/simulated_disk.h"

// A handle on a simulated disk: cheap to open and drop, it forwards every command to the
// long-lived SimulatedDisk, which keeps the state.
namespace ds {

class SimulatedAtaDevice : public AtaDevice {
 public:
  SimulatedAtaDevice(std::shared_ptr<SimulatedDisk> disk, bool exclusive)
      : disk_(std::move(disk)), exclusive_(exclusive) {}
  ~SimulatedAtaDevice() override { disk_->HandleClosed(exclusive_); }
  SimulatedAtaDevice(const SimulatedAtaDevice&) = delete;
  SimulatedAtaDevice& operator=(const SimulatedAtaDevice&) = delete;

  AtaResult Execute(const AtaCommand& command) override { return disk_->Execute(command); }
  AtaResult SmartDriverCommand(const TaskFile& registers, std::span<std::uint8_t> dataIn) override {
    return disk_->SmartDriverCommand(registers, dataIn);
  }
  bool PassThroughAvailable() const override { return disk_->PassThroughAvailable(); }
  std::unique_lock<std::recursive_mutex> HoldExclusive() override { return disk_->HoldExclusive(); }
  const std::string& name() const override { return disk_->name(); }

  SimulatedDisk& disk() { return *disk_; }

 private:
  std::shared_ptr<SimulatedDisk> disk_;
  bool exclusive_ = false;
};

}  // namespace ds
