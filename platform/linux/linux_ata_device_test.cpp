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
      {"/dev/../etc/passwd", "not a device path"},
      {"/dev/ds-no-such-disk", "open on /dev/ds-no-such-disk failed: No such file"},
      {"/dev/", "open on /dev/ failed"}};
  for (const auto& [path, messagePart] : cases) {
    std::string message;
    EXPECT_EQ(LinuxAtaDevice::Open(path, AtaOpenMode{}, nullptr, &message), nullptr);
    EXPECT_NE(message.find(messagePart), std::string::npos) << message;
  }
}

// /dev/null takes neither ioctl: transport failures with the OS error; malformed ones never sent.
TEST(LinuxAtaDevice, UnknownIoctlsAndMalformedCommandsAreTransportFailures) {
  std::string message;
  auto device = LinuxAtaDevice::Open("/dev/null", AtaOpenMode{}, nullptr, &message);
  ASSERT_NE(device, nullptr) << message;
  EXPECT_EQ(device->name(), "/dev/null");
  // Data bytes, through the SMART driver path, a part of the message, errno (0: any).
  const std::tuple<std::size_t, bool, const char*, int> cases[] = {
      {512, false, "SG_IO on /dev/null failed", 0},
      {512, true, "HDIO_DRIVE_CMD on /dev/null failed", 0},
      {100, false, "whole number of sectors", EINVAL},
      {100, true, "", EINVAL}};
  for (const auto& [bytes, driver, messagePart, error] : cases) {
    std::vector<std::uint8_t> data(bytes, 0xAB);
    const TaskFile smartReadData{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0};
    const AtaCommand command{smartReadData, {}, false, AtaProtocol::kPioDataIn, data};
    const AtaResult result =
        driver ? device->SmartDriverCommand(command.registers, data) : device->Execute(command);
    EXPECT_FALSE(result.transportOk);
    EXPECT_TRUE(error ? result.osError == error : result.osError != 0) << result.osError;
    EXPECT_NE(result.osErrorText.find(messagePart), std::string::npos) << result.osErrorText;
    EXPECT_EQ(data, std::vector<std::uint8_t>(bytes, 0xAB));
  }
}

TEST(LinuxAtaDevice, HandlesOfOneDiskShareTheirLock) {
  DeviceGateTable gates;
  std::string message;
  const auto open = [&](const char* path, bool readWrite) {
    return LinuxAtaDevice::Open(path, AtaOpenMode{readWrite}, gates.GateFor(path), &message);
  };
  auto first = open("/dev/null", true), second = open("/dev/null", false);  // read-only
  auto other = open("/dev/zero", true);
  ASSERT_TRUE(first && second && other) << message;
  // While one handle holds the disk, another handle of it waits; another disk does not.
  auto held = first->HoldExclusive();
  std::thread probe([&] {
    EXPECT_FALSE(gates.GateFor("/dev/null")->try_lock());
    EXPECT_TRUE(other->HoldExclusive().owns_lock());
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
