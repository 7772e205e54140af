#include "platform/linux/linux_ata_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/device_gate_table.h"

namespace ds {
namespace {

TEST(LinuxAtaDevice, OpenRefusesPathsOutsideDevAndMissingNodesWithAMessage) {
  const std::pair<const char*, const char*> cases[] = {
      {"/etc/passwd", "not a device path"},
      {"sda", "not a device path"},
      {"/dev/../etc/passwd", "not a device path"},
      {"/dev/ds-no-such-disk", "open on /dev/ds-no-such-disk failed: No such file"},
      {"/dev/", "open on /dev/ failed"}};
  for (const auto& [path, messagePart] : cases) {
    std::string message;
    EXPECT_EQ(LinuxAtaDevice::Open(path, AtaOpenMode{}, nullptr, &message), nullptr);
    EXPECT_NE(message.find(messagePart), std::string::npos) << message;
  }
}

// /dev/null is a device node that knows neither SG_IO nor HDIO_DRIVE_CMD: both paths must
// come back as transport failures with the OS error, never as device status.
TEST(LinuxAtaDevice, IoctlsTheDeviceDoesNotKnowAreTransportFailures) {
  std::string message;
  auto device = LinuxAtaDevice::Open("/dev/null", AtaOpenMode{}, nullptr, &message);
  ASSERT_NE(device, nullptr) << message;
  EXPECT_EQ(device->name(), "/dev/null");

  std::vector<std::uint8_t> sector(512, 0xAB);
  AtaCommand identify;
  identify.registers = TaskFile{0, 1, 0, 0, 0, 0xA0, kAtaIdentifyDevice};
  identify.protocol = AtaProtocol::kPioDataIn;
  identify.data = sector;
  const AtaResult passThrough = device->Execute(identify);
  EXPECT_FALSE(passThrough.transportOk);
  EXPECT_NE(passThrough.osError, 0);
  EXPECT_NE(passThrough.osErrorText.find("SG_IO on /dev/null failed"), std::string::npos)
      << passThrough.osErrorText;

  const AtaResult driver =
      device->SmartDriverCommand(TaskFile{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, sector);
  EXPECT_FALSE(driver.transportOk);
  EXPECT_NE(driver.osErrorText.find("HDIO_DRIVE_CMD on /dev/null failed"), std::string::npos)
      << driver.osErrorText;
  EXPECT_EQ(sector, std::vector<std::uint8_t>(512, 0xAB));
}

TEST(LinuxAtaDevice, MalformedCommandsNeverReachTheDevice) {
  std::string message;
  auto device = LinuxAtaDevice::Open("/dev/null", AtaOpenMode{}, nullptr, &message);
  ASSERT_NE(device, nullptr) << message;
  std::vector<std::uint8_t> partial(100);
  AtaCommand command;
  command.registers = TaskFile{0, 1, 0, 0, 0, 0xE0, kAtaReadSectors};
  command.protocol = AtaProtocol::kPioDataIn;
  command.data = partial;
  const AtaResult result = device->Execute(command);
  EXPECT_FALSE(result.transportOk);
  EXPECT_EQ(result.osError, EINVAL);
  EXPECT_NE(result.osErrorText.find("whole number of sectors"), std::string::npos);

  const AtaResult driver = device->SmartDriverCommand(TaskFile{}, partial);
  EXPECT_EQ(driver.osError, EINVAL);
}

TEST(LinuxAtaDevice, HandlesOfOneDiskShareTheirLock) {
  DeviceGateTable gates;
  std::string message;
  auto first =
      LinuxAtaDevice::Open("/dev/null", AtaOpenMode{}, gates.GateFor("/dev/null"), &message);
  auto second = LinuxAtaDevice::Open("/dev/null", AtaOpenMode{false, false, false},
                                     gates.GateFor("/dev/null"), &message);
  auto other =
      LinuxAtaDevice::Open("/dev/zero", AtaOpenMode{}, gates.GateFor("/dev/zero"), &message);
  ASSERT_TRUE(first && second && other) << message;
  // While one handle holds the disk, another handle of it waits; another disk does not.
  auto held = first->HoldExclusive();
  std::thread probe([&] {
    EXPECT_FALSE(gates.GateFor("/dev/null")->try_lock());
    auto otherDisk = other->HoldExclusive();
    EXPECT_TRUE(otherDisk.owns_lock());
  });
  probe.join();
  auto waiting =
      std::async(std::launch::async, [&] { return second->HoldExclusive().owns_lock(); });
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  held.unlock();
  EXPECT_TRUE(waiting.get());
}

}  // namespace
}  // namespace ds
