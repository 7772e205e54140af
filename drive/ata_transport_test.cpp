#include "drive/ata_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_ata_device.h"

namespace ds {
namespace {

using ::testing::MatchesRegex;
using Bytes = std::vector<std::uint8_t>;

// A handle on a simulated disk that also keeps each command as sent: its time-out, its data
// buffer and the first data byte as the disk got it (-1 without data).
struct RecordingDevice : SimulatedAtaDevice {
  explicit RecordingDevice(const std::string& description = "")
      : SimulatedAtaDevice(testing::MakeDisk({}, description), false) {}
  AtaResult Execute(const AtaCommand& command) override {
    sent.push_back(command);
    firstDataByte.push_back(command.data.empty() ? -1 : command.data[0]);
    return SimulatedAtaDevice::Execute(command);
  }
  std::vector<AtaCommand> sent;
  std::vector<int> firstDataByte;
};

TEST(AtaTransportRequests, BufferedReadMarksTheBufferAndUsesItsTimeOut) {
  RecordingDevice device;
  Bytes buffer(531, 0);
  EXPECT_TRUE(ReadSmartData(device, 1, buffer));
  ASSERT_EQ(device.sent.size(), 2u);
  // SMART ENABLE without data, then READ DATA into the caller's buffer; device/head of drive 1.
  EXPECT_EQ(device.sent[0].registers, (TaskFile{0xD8, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0}));
  EXPECT_EQ(device.sent[0].protocol, AtaProtocol::kNonData);
  EXPECT_EQ(device.sent[1].registers, (TaskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xB0, 0xB0}));
  EXPECT_EQ(device.sent[1].protocol, AtaProtocol::kPioDataIn);
  EXPECT_EQ(device.sent[1].data.data(), buffer.data());
  EXPECT_EQ(device.sent[1].data.size(), 512u);
  EXPECT_EQ(device.firstDataByte, (std::vector<int>{-1, 0xCF}));
  EXPECT_EQ(device.sent[1].timeoutMs, 10000);
}

TEST(AtaTransportRequests, DirectCallsPickTheProtocolOfTheCommand) {
  enum Variant { kRead, kWrite, kNoData };
  struct Case {
    TaskFile registers;
    Variant variant;
    std::size_t bytes;
    int timeoutMs;
    AtaProtocol protocol;
  };
  // clang-format off
  const Case cases[] = {
      {{0, 2, 0xAA, 0x55, 0, 0xE0, 0xC8}, kRead, 1024, 5000, AtaProtocol::kDmaIn},        // READ DMA
      {{0, 1, 0xAA, 0x55, 0, 0xE0, 0x30}, kWrite, 512, 5000, AtaProtocol::kPioDataOut},   // WRITE SECTORS
      {{0, 1, 0, 0, 0, 0xE0, 0xF1}, kWrite, 512, 10000, AtaProtocol::kPioDataOut},        // SET PASSWORD
      {{0, 0, 0, 0, 0, 0xE0, 0xF3}, kNoData, 0, 5000, AtaProtocol::kNonData},             // ERASE PREPARE
      {{0, 0, 0, 0, 0, 0xE0, 0xE5}, kRead, 0, 5000, AtaProtocol::kNonData},               // empty read
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.registers.command));
    RecordingDevice device;
    Bytes data(c.bytes, 0x11);
    TaskFile taskFile = c.registers;
    std::string message;
    if (c.variant == kRead) {
      AtaPassThroughDirectRead(device, &taskFile, data, &message, c.timeoutMs);
    } else if (c.variant == kWrite) {
      AtaPassThroughDirectWrite(device, &taskFile, data, &message, c.timeoutMs);
    } else {
      AtaPassThroughDirectNoData(device, &taskFile, &message, c.timeoutMs);
    }
    ASSERT_EQ(device.sent.size(), 1u);
    const AtaCommand& sent = device.sent[0];
    EXPECT_EQ(sent.registers, c.registers);
    EXPECT_EQ(sent.protocol, c.protocol);
    EXPECT_EQ(sent.data.size(), c.bytes);
    EXPECT_EQ(sent.data.data(), c.bytes > 0 ? data.data() : nullptr);  // no copy
    EXPECT_EQ(sent.timeoutMs, c.timeoutMs);
    EXPECT_FALSE(sent.extended);
  }
}

// The buffered path succeeds on status 0x50 only, the direct path unless ERR or DRQ is set;
// a refused or timed-out command leaves the registers as they were sent.
TEST(AtaTransportStatus, EachPathJudgesTheReturnedStatus) {
  struct Case {
    bool direct;
    const char* description;
    bool ok;
    std::uint8_t status;
    std::string message;  // a pattern
    int timeoutMs = kDirectPassThroughTimeoutMs;
  };
  const std::string kTime = ", spend time: [0-9]+ milliseconds\\.";
  const std::string kDirectFailed = "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: ";
  const std::string kNoInfo = " \\(Sorry, cannot find this error info\\. ErrCode: 0x0\\)";
  const std::string kBufferedFailed = "IOCTL_ATA_PASS_THROUGH Failed \\(2\\), Err=0xB0";
  const char* kStatus51 = "fault_status_commands=B0\nfault_status=0x51";
  const char* kRefuse = "fault_refuse_pass_through=1";
  // clang-format off
  const Case cases[] = {
      {false, "", true, 0x50, "old text"},
      {false, kStatus51, false, 0x51, kBufferedFailed},
      {false, "fault_status_commands=B0:D0\nfault_status=0x52", false, 0x52, kBufferedFailed},
      {false, kRefuse, false, 0xB0, "IOCTL_ATA_PASS_THROUGH failed, Error=test-drive/: the driver "
       "refused the ATA pass-through \\(sense key 0x05, ASC/ASCQ 0x20/0x00\\)"},
      {true, "", true, 0x50, "Status: 0x50" + kTime},
      {true, "fault_status_commands=B0\nfault_status=0x40", true, 0x40, "Status: 0x40" + kTime},
      {true, kStatus51, false, 0x51, kDirectFailed + "0x51" + kNoInfo + kTime},
      {true, "fault_status_commands=B0\nfault_status=0x58", false, 0x58, kDirectFailed + "0x58" + kNoInfo + kTime},
      {true, kRefuse, false, 0xB0, kDirectFailed + "0xB0 \\(.*refused the ATA pass-through.* ErrCode: 0x5F\\)" + kTime},
      {true, "fault_slow_commands=B0\nfault_slow_ms=40", false, 0xB0, kDirectFailed + "0xB0 \\(.*timed out after 5 ms "
       "ErrCode: 0x6E\\)" + kTime, 5},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.direct ? "direct " : "buffered ") + c.description);
    RecordingDevice device(c.description);
    Bytes data(512, 0);
    TaskFile taskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
    std::string message = "old text";
    EXPECT_EQ(c.direct ? AtaPassThroughDirectRead(device, &taskFile, data, &message, c.timeoutMs)
                       : AtaPassThrough(device, &taskFile, data, kAtaFlagsDataIn, &message),
              c.ok);
    EXPECT_EQ(taskFile.status(), c.status);
    EXPECT_THAT(message, MatchesRegex(c.message));
  }
}

// SMART enable and read, with the SMART driver path as the fall-back.
TEST(AtaTransportSmart, EnableAndReadFallBackOrSayWhatFailed) {
  struct Case {
    bool enable;  // EnableSmart, else ReadSmartData
    const char* description;
    bool ok;
    const char* message;    // a pattern
    const char* driverLog;  // features of the commands sent through the SMART driver
  };
  const char* kNoDriver =
      "Failed to enable SMART \\(HDIO_DRIVE_CMD on test-drive/ failed: Inappropriate ioctl for "
      "device ErrCode: 0x19\\)\\.";
  // clang-format off
  const Case cases[] = {
      {false, "", true, "", ""},
      {false, "fault_refuse_pass_through=1", true, ".*", "\xD8\xD0"},
      {false, "fault_status_commands=B0:D0\nfault_status=0x51", false, "Failed to read SMART data "
       "\\(HDIO_DRIVE_CMD on test-drive/ failed: Input/output error ErrCode: 0x5\\)\\.", "\xD8\xD0"},
      {false, "fault_refuse_pass_through=1\nfault_refuse_smart_driver=1", false, kNoDriver, "\xD8"},
      {true, "smart_enabled=0", true, "Status: 0x50, spend time: [0-9]+ milliseconds\\.", "\xD8"},
      {true, "fault_refuse_smart_driver=1", false, kNoDriver, "\xD8"},
      {true, "fault_abort_commands=B0:D1", false, "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x51.*", "\xD8"},
  };
  // clang-format on
  const SimulatedDiskImage image = testing::MakeImage({});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    RecordingDevice device(c.description);
    Bytes buffer(531, 0xEE);
    std::string message;
    ASSERT_EQ(c.enable ? EnableSmart(device, 0, buffer, &message)
                       : ReadSmartData(device, 0, buffer, &message),
              c.ok);
    EXPECT_THAT(message, MatchesRegex(c.message));
    std::string driverLog;
    for (const SimulatedCommandRecord& record : device.disk().CommandLog()) {
      if (record.viaSmartDriver)
        driverLog += static_cast<char>(record.registers.features);
    }
    EXPECT_EQ(driverLog, c.driverLog);
    if (!c.ok)
      continue;
    // The sector lands at byte 0 and nothing is written past it.
    const Sector& expected = c.enable ? image.thresholds : image.smart;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), Bytes(expected.begin(), expected.end()));
    EXPECT_EQ(Bytes(buffer.begin() + 512, buffer.end()), Bytes(19, 0xEE));
    EXPECT_TRUE(ReadSmartData(device, 0, buffer));  // SMART is on afterwards
  }
  Bytes tooSmall(100);
  std::string message;
  RecordingDevice device;
  EXPECT_FALSE(ReadSmartData(device, 0, tooSmall, &message));
  EXPECT_THAT(message, ::testing::HasSubstr("fewer than 512 bytes"));
}

TEST(AtaTransportErrors, LastErrorTextHasTextOrTheFallback) {
  for (int error : {0, -3, 99999})
    EXPECT_EQ(LastErrorText(error), "Sorry, cannot find this error info.") << error;
  EXPECT_EQ(LastErrorText(EPERM), "Operation not permitted");
}

}  // namespace
}  // namespace ds
