#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/ata_device.h"
#include "platform/usb_bridge.h"

// A real disk opened through its block device node (/dev/sdX): ATA commands go out as
// SG_IO ATA PASS-THROUGH(16), the SMART driver path is the HDIO_DRIVE_CMD ioctl.
// Both need root or CAP_SYS_RAWIO; without them the failure says so. A disk behind a USB
// bridge sends every command through its UsbBridge (16- or 12-byte block, or none), and
// its SMART driver path is the same ATA command through the bridge: the kernel has no
// other for it.
namespace ds {

class LinuxAtaDevice : public AtaDevice {
 public:
  // Opens `devicePath`. `gate` is the disk's shared lock (DeviceGateTable::GateFor);
  // null gives the handle a lock of its own. Null with `message` set on failure.
  static std::unique_ptr<LinuxAtaDevice> Open(const std::string& devicePath,
                                              const AtaOpenMode& mode,
                                              std::shared_ptr<std::recursive_mutex> gate,
                                              std::string* message);
  // Routes this handle's commands through `bridge` (a disk behind a USB bridge).
  void SetUsbBridge(std::shared_ptr<UsbBridge> bridge) { bridge_ = std::move(bridge); }
  ~LinuxAtaDevice() override;

  LinuxAtaDevice(const LinuxAtaDevice&) = delete;
  LinuxAtaDevice& operator=(const LinuxAtaDevice&) = delete;

  AtaResult Execute(const AtaCommand& command) override;
  AtaResult SmartDriverCommand(const TaskFile& registers, std::span<std::uint8_t> dataIn) override;
  bool PassThroughAvailable() const override {
    return !bridge_ || bridge_->path() != BridgePath::kNone;
  }
  bool BridgeRefusedLog(std::uint8_t address) const override {
    return bridge_ && bridge_->LogRefused(address);
  }
  std::unique_lock<std::recursive_mutex> HoldExclusive() override;
  const std::string& name() const override { return path_; }
  // fsync, then BLKFLSBUF (needs CAP_SYS_ADMIN).
  bool FlushCaches(std::string* message) override;

 private:
  LinuxAtaDevice(int fd, std::string path, std::shared_ptr<std::recursive_mutex> gate);
  AtaResult Send(const AtaCommand& command, SatCdbLength length);

  int fd_;
  std::string path_;
  std::shared_ptr<std::recursive_mutex> gate_;
  std::shared_ptr<UsbBridge> bridge_;
};

}  // namespace ds
