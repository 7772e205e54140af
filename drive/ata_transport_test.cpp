#include "drive/ata_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_ata_device.h"

namespace ds {
namespace {

using ::testing::MatchesRegex;
using Bytes = std::vector<std::uint8_t>;

SimulatedAtaDevice Device(const std::string& description = "") {
  return SimulatedAtaDevice(testing::MakeDisk({}, description), false);
}

// Buffered: only status 0x50 succeeds; direct: unless ERR or DRQ; failures keep the registers.
TEST(AtaTransportStatus, EachPathJudgesTheReturnedStatus) {
  // direct, description, ok, status, message pattern, time-out (0: the usual)
  const std::string kTime = ", spend time: [0-9]+ milliseconds\\.";
  const std::string kDirectFailed = "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: ";
  const std::string kNoInfo = " \\(Sorry, cannot find this error info\\. ErrCode: 0x0\\)";
  const std::string kBufferedFailed = "IOCTL_ATA_PASS_THROUGH Failed \\(2\\), Err=0xB0";
  // clang-format off
  const std::tuple<bool, const char*, bool, std::uint8_t, std::string, int> cases[] = {
      {false, "fault_status_commands=B0\nfault_status=0x51", false, 0x51, kBufferedFailed, 0},
      {false, "fault_status_commands=B0:D0\nfault_status=0x52", false, 0x52, kBufferedFailed, 0},
      {false, "fault_refuse_pass_through=1", false, 0xB0, "IOCTL_ATA_PASS_THROUGH failed, Error=test-drive/: the driver "
       "refused the ATA pass-through \\(sense key 0x05, ASC/ASCQ 0x20/0x00\\)", 0},
      {true, "fault_status_commands=B0\nfault_status=0x40", true, 0x40, "Status: 0x40" + kTime, 0},
      {true, "fault_status_commands=B0\nfault_status=0x51", false, 0x51, kDirectFailed + "0x51" + kNoInfo + kTime, 0},
      {true, "fault_status_commands=B0\nfault_status=0x58", false, 0x58, kDirectFailed + "0x58" + kNoInfo + kTime, 0},
      {true, "fault_refuse_pass_through=1", false, 0xB0, kDirectFailed + "0xB0 \\(.*refused the ATA pass-through.* ErrCode: 0x5F\\)" + kTime, 0},
      {true, "fault_slow_commands=B0\nfault_slow_ms=40", false, 0xB0, kDirectFailed + "0xB0 \\(.*timed out after 5 ms "
       "ErrCode: 0x6E\\)" + kTime, 5}};
  // clang-format on
  for (const auto& [direct, description, ok, status, pattern, timeoutMs] : cases) {
    SCOPED_TRACE(std::string(direct ? "direct " : "buffered ") + description);
    SimulatedAtaDevice device = Device(description);
    Bytes data(512, 0);
    TaskFile taskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
    std::string message = "old text";
    EXPECT_EQ(direct ? AtaPassThroughDirectRead(device, &taskFile, data, &message,
                                                timeoutMs ? timeoutMs : kDirectPassThroughTimeoutMs)
                     : AtaPassThrough(device, &taskFile, data, kAtaFlagsDataIn, &message),
              ok);
    EXPECT_EQ(taskFile.status(), status);
    EXPECT_THAT(message, MatchesRegex(pattern));
  }
}

// SMART enable and read, with the SMART driver path as the fall-back.
TEST(AtaTransportSmart, EnableAndReadFallBackOrSayWhatFailed) {
  // EnableSmart (else ReadSmartData), description, ok, message pattern, SMART driver features
  const char* kNoDriver =
      "Failed to enable SMART \\(HDIO_DRIVE_CMD on test-drive/ failed: Inappropriate ioctl for "
      "device ErrCode: 0x19\\)\\.";
  // clang-format off
  const std::tuple<bool, const char*, bool, const char*, const char*> cases[] = {
      {false, "", true, "", ""},
      {false, "fault_refuse_pass_through=1", true, ".*", "\xD8\xD0"},
      {false, "fault_status_commands=B0:D0\nfault_status=0x51", false, "Failed to read SMART data "
       "\\(HDIO_DRIVE_CMD on test-drive/ failed: Input/output error ErrCode: 0x5\\)\\.", "\xD8\xD0"},
      {false, "fault_refuse_pass_through=1\nfault_refuse_smart_driver=1", false, kNoDriver, "\xD8"},
      {true, "smart_enabled=0", true, "Status: 0x50, spend time: [0-9]+ milliseconds\\.", "\xD8"},
      {true, "fault_refuse_smart_driver=1", false, kNoDriver, "\xD8"},
      {true, "fault_abort_commands=B0:D1", false, "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x51.*", "\xD8"}};
  // clang-format on
  const SimulatedDiskImage image = testing::MakeImage({});
  for (const auto& [enable, description, ok, pattern, wantLog] : cases) {
    SCOPED_TRACE(description);
    SimulatedAtaDevice device = Device(description);
    Bytes buffer(531, 0xEE);
    std::string message;
    ASSERT_EQ(enable ? EnableSmart(device, 0, buffer, &message)
                     : ReadSmartData(device, 0, buffer, &message),
              ok);
    EXPECT_THAT(message, MatchesRegex(pattern));
    std::string driverLog;
    for (const SimulatedCommandRecord& record : device.disk().CommandLog())
      if (record.viaSmartDriver)
        driverLog += static_cast<char>(record.registers.features);
    EXPECT_EQ(driverLog, wantLog);
    EXPECT_EQ(device.disk().CommandLog().front().registers.deviceHead, 0xA0);  // drive 0: master
    if (!ok)
      continue;
    // The sector lands at byte 0 and nothing is written past it.
    const Sector& expected = enable ? image.thresholds : image.smart;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(Bytes(buffer.begin() + 512, buffer.end()), Bytes(19, 0xEE));
    EXPECT_TRUE(ReadSmartData(device, 1, buffer));  // SMART is on afterwards
    const SimulatedCommandRecord last = device.disk().CommandLog().back();
    EXPECT_EQ(last.registers.deviceHead, last.viaSmartDriver ? 0xA0 : 0xB0);  // drive 1: slave
  }
  Bytes tooSmall(100);
  std::string message;
  SimulatedAtaDevice device = Device();
  EXPECT_FALSE(ReadSmartData(device, 0, tooSmall, &message));
  EXPECT_THAT(message, ::testing::HasSubstr("fewer than 512 bytes"));
}

}  // namespace
}  // namespace ds
