#include "drive/ata_transport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "platform/sim/sim_test_drive.h"

namespace ds {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using Bytes = std::vector<std::uint8_t>;

// A device that records what it is sent and answers from a script.
class ScriptedDevice : public AtaDevice {
 public:
  std::function<AtaResult(const AtaCommand&)> answer = [](const AtaCommand& command) {
    AtaResult result;
    result.transportOk = true;
    result.registers = command.registers;
    result.registers.command = kAtaStatusGood;
    return result;
  };
  std::vector<AtaCommand> sent;
  std::vector<int> firstDataByte;  // -1 when there was no data

  AtaResult Execute(const AtaCommand& command) override {
    sent.push_back(command);
    firstDataByte.push_back(command.data.empty() ? -1 : command.data[0]);
    return answer(command);
  }
  AtaResult SmartDriverCommand(const TaskFile&, std::span<std::uint8_t>) override {
    AtaResult refused;
    refused.osError = ENOTTY;
    return refused;
  }
  bool PassThroughAvailable() const override { return true; }
  std::unique_lock<std::recursive_mutex> HoldExclusive() override {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }
  const std::string& name() const override { return name_; }

 private:
  std::recursive_mutex mutex_;
  std::string name_ = "scripted";
};

Bytes FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<AtaDevice> OpenSimulated(const std::string& description,
                                         std::shared_ptr<SimulatedDisk>* keep = nullptr) {
  auto disk = testing::MakeDisk({}, description);
  if (!disk)
    return nullptr;
  std::string message;
  auto handle = disk->OpenHandle(&message);
  if (keep)
    *keep = disk;
  return handle;
}

// ---- what goes out ----

TEST(AtaTransportRequests, BufferedReadMarksTheBufferAndUsesItsTimeOut) {
  ScriptedDevice device;
  Bytes buffer(531, 0);
  EXPECT_TRUE(ReadSmartData(device, 1, buffer));
  ASSERT_EQ(device.sent.size(), 2u);
  // SMART ENABLE through the buffered pass-through: no data, device/head of drive 1.
  EXPECT_EQ(device.sent[0].registers, (TaskFile{0xD8, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0}));
  EXPECT_EQ(device.sent[0].protocol, AtaProtocol::kNonData);
  EXPECT_EQ(device.firstDataByte[0], -1);
  EXPECT_EQ(device.sent[1].registers, (TaskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xB0, 0xB0}));
  EXPECT_EQ(device.sent[1].protocol, AtaProtocol::kPioDataIn);
  EXPECT_EQ(device.sent[1].data.size(), 512u);
  EXPECT_EQ(device.sent[1].data.data(), buffer.data());
  EXPECT_EQ(device.firstDataByte[1], 0xCF);
  EXPECT_EQ(device.sent[1].timeoutMs, 10000);
}

TEST(AtaTransportRequests, DirectCallsPickTheProtocolOfTheCommand) {
  enum Variant { kRead, kWrite, kNoData };
  struct Case {
    const char* name;
    TaskFile registers;
    Variant variant;
    std::size_t bytes;
    int timeoutMs;
    AtaProtocol protocol;
  };
  // clang-format off
  const Case cases[] = {
      {"thresholds", {0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0}, kRead, 512, 5000, AtaProtocol::kPioDataIn},
      {"vendor key read", {0, 1, 0xAA, 0, 0, 0xE0, 0x20}, kRead, 512, 5000, AtaProtocol::kPioDataIn},
      {"vendor page READ DMA", {0, 2, 0xAA, 0x55, 0, 0xE0, 0xC8}, kRead, 1024, 5000, AtaProtocol::kDmaIn},
      {"vendor selector write", {0, 1, 0xAA, 0x55, 0, 0xE0, 0x30}, kWrite, 512, 5000, AtaProtocol::kPioDataOut},
      {"TRIM", {1, 1, 0, 0, 0, 0xE0, 0x06}, kWrite, 512, 5000, AtaProtocol::kDmaOut},
      {"set password", {0, 1, 0, 0, 0, 0xE0, 0xF1}, kWrite, 512, 10000, AtaProtocol::kPioDataOut},
      {"erase prepare", {0, 0, 0, 0, 0, 0xE0, 0xF3}, kNoData, 0, 5000, AtaProtocol::kNonData},
      {"empty read is non-data", {0, 0, 0, 0, 0, 0xE0, 0xE5}, kRead, 0, 5000, AtaProtocol::kNonData},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDevice device;
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
    EXPECT_EQ(device.sent[0].registers, c.registers);
    EXPECT_EQ(device.sent[0].protocol, c.protocol);
    EXPECT_EQ(device.sent[0].data.size(), c.variant == kNoData ? 0 : c.bytes);
    EXPECT_EQ(device.sent[0].timeoutMs, c.timeoutMs);
    EXPECT_FALSE(device.sent[0].extended);
  }
}

TEST(AtaTransportStatus, BufferedPathSucceedsOnStatus50Only) {
  struct Case {
    const char* description;
    bool ok;
    std::uint8_t status;
    const char* message;
  };
  const char* kFailed = "IOCTL_ATA_PASS_THROUGH Failed (2), Err=0xB0";
  // clang-format off
  const Case cases[] = {
      {"", true, 0x50, "old text"},
      {"fault_status_commands=B0:D0\nfault_status=0x51", false, 0x51, kFailed},
      {"fault_status_commands=B0:D0\nfault_status=0x58", false, 0x58, kFailed},
      {"fault_status_commands=B0:D0\nfault_status=0x52", false, 0x52, kFailed},
      {"fault_refuse_pass_through=1", false, 0xB0, "IOCTL_ATA_PASS_THROUGH failed, Error=test-drive/: "
       "the driver refused the ATA pass-through (sense key 0x05, ASC/ASCQ 0x20/0x00)"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto device = OpenSimulated(c.description);
    ASSERT_NE(device, nullptr);
    Bytes data(512, 0);
    TaskFile taskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
    std::string message = "old text";
    EXPECT_EQ(AtaPassThrough(*device, &taskFile, data, kAtaFlagsDataIn, &message), c.ok);
    EXPECT_EQ(taskFile.status(), c.status);
    EXPECT_EQ(message, c.message);
  }
}

TEST(AtaTransportStatus, DirectPathFailsOnErrOrDrqAndReportsTheTime) {
  struct Case {
    const char* description;
    bool ok;
    const char* messagePattern;
  };
  // clang-format off
  const Case cases[] = {
      {"", true, "Status: 0x50, spend time: [0-9]+ milliseconds\\."},
      {"fault_status_commands=B0\nfault_status=0x40", true, "Status: 0x40, spend time: [0-9]+ milliseconds\\."},
      {"fault_status_commands=B0\nfault_status=0x51", false, "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x51 "
       "\\(Sorry, cannot find this error info\\. ErrCode: 0x0\\), spend time: [0-9]+ milliseconds\\."},
      {"fault_status_commands=B0\nfault_status=0x58", false, "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x58 "
       "\\(Sorry, cannot find this error info\\. ErrCode: 0x0\\), spend time: [0-9]+ milliseconds\\."},
      {"fault_refuse_pass_through=1", false, "IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0xB0 \\(.*refused "
       "the ATA pass-through.* ErrCode: 0x5F\\), spend time: [0-9]+ milliseconds\\."},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    auto device = OpenSimulated(c.description);
    ASSERT_NE(device, nullptr);
    Bytes data(512, 0);
    TaskFile taskFile{0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0};
    std::string message;
    EXPECT_EQ(AtaPassThroughDirectRead(*device, &taskFile, data, &message), c.ok);
    EXPECT_THAT(message, MatchesRegex(c.messagePattern));
  }
}

TEST(AtaTransportDirect, TimeOutsReachTheDevice) {
  auto device = OpenSimulated("fault_slow_commands=F3\nfault_slow_ms=40");
  TaskFile prepare{0, 0, 0, 0, 0, 0xE0, 0xF3};
  std::string message;
  EXPECT_FALSE(AtaPassThroughDirectNoData(*device, &prepare, &message, 5));
  EXPECT_THAT(message, HasSubstr("timed out after 5 ms ErrCode: 0x6E), spend time: "));
  prepare = TaskFile{0, 0, 0, 0, 0, 0xE0, 0xF3};
  EXPECT_TRUE(AtaPassThroughDirectNoData(*device, &prepare, &message));
  EXPECT_THAT(message, MatchesRegex("Status: 0x50, spend time: [0-9]+ milliseconds\\."));
}

TEST(AtaTransportDirect, WriteSendsTheCallersBytes) {
  std::shared_ptr<SimulatedDisk> disk;
  auto device = OpenSimulated("", &disk);
  Bytes block(512);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[i] = static_cast<std::uint8_t>(i);
  TaskFile write{0, 1, 9, 0, 0, 0xE0, 0x30};
  std::string message;
  ASSERT_TRUE(AtaPassThroughDirectWrite(*device, &write, block, &message)) << message;
  const Sector stored = disk->StoredSector(9);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), stored.begin()));
}

// ---- SMART operations ----

TEST(AtaTransportSmart, RefusedPassThroughFallsBackWithDataAtByteZero) {
  std::shared_ptr<SimulatedDisk> disk;
  auto device = OpenSimulated("fault_refuse_pass_through=1", &disk);
  Bytes buffer(531, 0xEE);
  std::string message;
  ASSERT_TRUE(ReadSmartData(*device, 0, buffer, &message)) << message;
  const SimulatedDiskImage image = testing::MakeImage({});
  EXPECT_TRUE(std::equal(image.smart.begin(), image.smart.end(), buffer.begin()));
  EXPECT_EQ(Bytes(buffer.begin() + 512, buffer.end()), Bytes(19, 0xEE));
  // Buffered enable, buffered read, then the driver's enable and read.
  const auto log = disk->CommandLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_FALSE(log[1].viaSmartDriver);
  EXPECT_TRUE(log[2].viaSmartDriver);
  EXPECT_EQ(log[2].registers.features, 0xD8);
  EXPECT_TRUE(log[3].viaSmartDriver);
  EXPECT_EQ(log[3].registers.features, 0xD0);
}

TEST(AtaTransportSmart, ErrorStatusOnTheBufferedPathAlsoFallsBack) {
  std::shared_ptr<SimulatedDisk> disk;
  auto device = OpenSimulated("fault_status_commands=B0:D0\nfault_status=0x51", &disk);
  Bytes buffer(531, 0);
  std::string message;
  // The driver path runs the same command, which fails the same way.
  EXPECT_FALSE(ReadSmartData(*device, 0, buffer, &message));
  EXPECT_THAT(message, HasSubstr("Failed to read SMART data (HDIO_DRIVE_CMD on test-drive/ "
                                 "failed: Input/output error ErrCode: 0x5)."));
}

TEST(AtaTransportSmart, NoPathLeftFailsWithTheDriverMessage) {
  auto device = OpenSimulated("fault_refuse_pass_through=1\nfault_refuse_smart_driver=1");
  Bytes buffer(531, 0);
  std::string message;
  EXPECT_FALSE(ReadSmartData(*device, 0, buffer, &message));
  EXPECT_EQ(message,
            "Failed to enable SMART (HDIO_DRIVE_CMD on test-drive/ failed: Inappropriate ioctl "
            "for device ErrCode: 0x19).");
  Bytes tooSmall(100);
  EXPECT_FALSE(ReadSmartData(*device, 0, tooSmall, &message));
  EXPECT_THAT(message, HasSubstr("fewer than 512 bytes"));
}

TEST(AtaTransportSmart, EnableSmartReadsThresholdsOrSaysWhatFailed) {
  {
    auto device = OpenSimulated("smart_enabled=0");
    Bytes thresholds(531, 0);
    std::string message;
    ASSERT_TRUE(EnableSmart(*device, 0, thresholds, &message)) << message;
    EXPECT_THAT(message, MatchesRegex("Status: 0x50, spend time: [0-9]+ milliseconds\\."));
    EXPECT_EQ(thresholds[2], 5);
    EXPECT_EQ(thresholds[3], 10);
    Bytes data(531, 0);
    EXPECT_TRUE(ReadSmartData(*device, 0, data));
  }
  {
    auto device = OpenSimulated("fault_refuse_smart_driver=1");
    Bytes thresholds(512, 0);
    std::string message;
    EXPECT_FALSE(EnableSmart(*device, 0, thresholds, &message));
    EXPECT_EQ(message,
              "Failed to enable SMART (HDIO_DRIVE_CMD on test-drive/ failed: Inappropriate ioctl "
              "for device ErrCode: 0x19).");
  }
  {
    auto device = OpenSimulated("fault_abort_commands=B0:D1");
    Bytes thresholds(512, 0);
    std::string message;
    EXPECT_FALSE(EnableSmart(*device, 0, thresholds, &message));
    EXPECT_THAT(message, HasSubstr("IOCTL_ATA_PASS_THROUGH_DIRECT failed! Status: 0x51"));
  }
}

TEST(AtaTransportSmart, RealDrivesReadBackTheirDumps) {
  for (const char* drive :
       {"KINGSTON_SA400S37240G_SBFK71B1", "Maxtor_6Y120P0", "IBM_IC25N020ATCS04-0"}) {
    SCOPED_TRACE(drive);
    const std::string folder = std::string(DS_TESTDATA_DIR) + "/real-drives/" + drive + "/";
    std::string message;
    auto disk = SimulatedDisk::Load(folder, &message);
    ASSERT_NE(disk, nullptr) << message;
    auto device = disk->OpenHandle(&message);
    Bytes buffer(531, 0);
    ASSERT_TRUE(EnableSmart(*device, 0, buffer, &message)) << message;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), FileBytes(folder + "thresholds.bin"));
    ASSERT_TRUE(ReadSmartData(*device, 0, buffer, &message)) << message;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 512), FileBytes(folder + "smart.bin"));
  }
}

TEST(AtaTransportErrors, LastErrorTextHasTextOrTheFallback) {
  const struct {
    int error;
    const char* text;
  } cases[] = {{0, "Sorry, cannot find this error info."},
               {-3, "Sorry, cannot find this error info."},
               {99999, "Sorry, cannot find this error info."},
               {EPERM, "Operation not permitted"},
               {ETIMEDOUT, "Connection timed out"}};
  for (const auto& c : cases)
    EXPECT_EQ(LastErrorText(c.error), c.text) << c.error;
}

TEST(AtaTransportErrors, MissingRightsReachTheMessage) {
  ScriptedDevice device;
  device.answer = [](const AtaCommand&) {
    AtaResult result;
    result.osError = EPERM;
    result.osErrorText =
        "SG_IO on /dev/sda failed: Operation not permitted (sending ATA commands needs root or "
        "the CAP_SYS_RAWIO capability)";
    return result;
  };
  TaskFile taskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
  Bytes data(512);
  std::string message;
  EXPECT_FALSE(AtaPassThrough(device, &taskFile, data, kAtaFlagsDataIn, &message));
  EXPECT_THAT(message, HasSubstr("IOCTL_ATA_PASS_THROUGH failed, Error=SG_IO on /dev/sda"));
  EXPECT_THAT(message, HasSubstr("CAP_SYS_RAWIO"));
  EXPECT_EQ(taskFile, (TaskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0}));
}

}  // namespace
}  // namespace ds
