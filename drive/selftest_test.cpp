#include "drive/selftest.h"

#include <gtest/gtest.h>

#include "drive/ata_transport.h"
#include "drive/selftest_log.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(SelfTestTest, CapabilityAndMinutesFromSmartDataAndIdentify) {
  struct Case {
    std::uint8_t byte367, byte373;
    std::uint16_t word84;
    bool supported;
    int extendedMinutes;
  };
  const Case cases[] = {
      {0x10, 30, 0, true, 30},       {0x0F, 30, 0, false, 30},  // off-line collection only
      {0x00, 30, 0x4002, true, 30},                             // IDENTIFY word 84 bit 1
      {0x00, 30, 0x0002, false, 30},                            // word 84 not valid
      {0x10, 0xFF, 0, true, 0x012C},                            // bytes 375-376 instead
  };
  for (const Case& c : cases) {
    std::array<std::uint8_t, 512> smart{};
    smart[367] = c.byte367, smart[372] = 2, smart[373] = c.byte373;
    smart[375] = 0x2C, smart[376] = 0x01;
    IdentifyWords identify{};
    identify[84] = c.word84;
    const SelfTestCapability got = DecodeSelfTestCapability(smart, identify);
    EXPECT_EQ(got.supported, c.supported) << int{c.byte367} << " " << c.word84;
    EXPECT_EQ(got.shortMinutes, 2);
    EXPECT_EQ(got.extendedMinutes, c.extendedMinutes);
  }
  // Only the three off-line values can be sent, whatever value the enum is given.
  EXPECT_EQ(OfflineSubcommand(SelfTestKind::kShort), 0x01);
  EXPECT_EQ(OfflineSubcommand(SelfTestKind::kExtended), 0x02);
  EXPECT_EQ(OfflineSubcommand(SelfTestKind::kAbort), 0x7F);
  EXPECT_EQ(OfflineSubcommand(static_cast<SelfTestKind>(0x81)), std::nullopt);
  EXPECT_NE(SelfTestRefusal({}, static_cast<SelfTestKind>(0x82)), "");
}

class SelfTestDiskTest : public ::testing::Test {
 protected:
  void Load(const std::string& description) {
    testing::MakeAtaDriveFolder(folder_.path() + "0-disk", {.serial = "ST01", .selfTests = true},
                                description);
    std::string message;
    machine_ = SimulatedMachine::Load(folder_.path(), &message);
    ASSERT_TRUE(machine_) << message;
  }
  SelfTestOutcome Run(SelfTestKind kind) { return RunSelfTest(*machine_, 0, "ST01", kind); }
  SelfTestLog Log() {
    std::string message;
    std::array<std::uint8_t, 512> sector{};
    TaskFile readLog{0xD5, 1, 0x06, kSmartSignatureLow, kSmartSignatureHigh, 0xA0, kAtaSmart};
    auto device = machine_->Open(0, AtaOpenMode{}, &message);
    EXPECT_TRUE(AtaPassThroughDirectRead(*device, &readLog, sector, &message)) << message;
    const auto log = DecodeSmartSelfTestLog(sector, &message);
    EXPECT_TRUE(log) << message;
    return log.value_or(SelfTestLog{});
  }
  // The LBA low of every SMART EXECUTE OFF-LINE IMMEDIATE the disk saw.
  std::vector<int> Sent() {
    std::vector<int> sent;
    for (const auto& record : machine_->disk(0)->CommandLog()) {
      if (record.registers.command == kAtaSmart && record.registers.features == 0xD4)
        sent.push_back(record.registers.sectorNumber);
    }
    return sent;
  }

  TempFolder folder_;
  std::unique_ptr<SimulatedMachine> machine_;
};

TEST_F(SelfTestDiskTest, StartsRefusesWhileRunningAbortsAndLogs) {
  Load("self_test_percent_per_read=30");
  SelfTestOutcome outcome = Run(SelfTestKind::kShort);
  EXPECT_EQ(outcome.result, SelfTestResult::kStarted) << outcome.message;
  EXPECT_EQ(outcome.estimatedMinutes, 2);
  outcome = Run(SelfTestKind::kExtended);  // its status read leaves 70 %
  EXPECT_EQ(outcome.result, SelfTestResult::kRefused);
  EXPECT_EQ(outcome.message.substr(0, 39), "A self-test is already running (70% lef");
  outcome = Run(SelfTestKind::kAbort);  // at 40 % left
  EXPECT_EQ(outcome.result, SelfTestResult::kStarted) << outcome.message;
  EXPECT_EQ(Run(SelfTestKind::kAbort).result, SelfTestResult::kRefused);  // nothing runs now
  outcome = Run(SelfTestKind::kExtended);
  EXPECT_EQ(outcome.estimatedMinutes, 30);
  for (int read = 0; read < 4; ++read)  // 70, 40, 10 % left, then done
    EXPECT_EQ(Run(SelfTestKind::kShort).result,
              read < 3 ? SelfTestResult::kRefused : SelfTestResult::kStarted);
  EXPECT_EQ(Sent(), (std::vector<int>{0x01, 0x7F, 0x02, 0x01}));
  const SelfTestLog log = Log();
  ASSERT_EQ(log.entries.size(), 2u);
  EXPECT_EQ(log.newestDescriptor, 2);
  EXPECT_EQ(log.entries[0].test, 0x02);
  EXPECT_EQ(log.entries[0].status, 0x00);
  EXPECT_EQ(log.entries[1].test, 0x01);
  EXPECT_EQ(log.entries[1].state, 1);  // aborted by the host
  EXPECT_EQ(log.entries[1].remainingPercent, 40);
  EXPECT_EQ(log.entries[1].powerOnHours, 42);
}

TEST_F(SelfTestDiskTest, RefusesAsleepBusyOrAnotherDiskAndLogsAFailure) {
  Load("standby=1\nself_test_fail_lba=305419896");
  EXPECT_EQ(Run(SelfTestKind::kShort).result, SelfTestResult::kRefused);
  EXPECT_TRUE(machine_->disk(0)->inStandby());  // nothing spun it up
  {
    std::string message;
    TaskFile wake{0, 1, 0, 0, 0, 0xE0, kAtaReadSectors};
    std::array<std::uint8_t, 512> data{};
    auto device = machine_->Open(0, AtaOpenMode{}, &message);
    ASSERT_TRUE(AtaPassThroughDirectRead(*device, &wake, data, &message)) << message;
  }
  {
    BusyMark busy = machine_->MarkBusy(0);
    EXPECT_EQ(Run(SelfTestKind::kShort).result, SelfTestResult::kRefused);
  }
  EXPECT_EQ(RunSelfTest(*machine_, 0, "OTHER", SelfTestKind::kShort).result,
            SelfTestResult::kRefused);
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(Run(SelfTestKind::kShort).result, SelfTestResult::kStarted);
  EXPECT_EQ(Run(SelfTestKind::kShort).result, SelfTestResult::kRefused);  // 70 % left
  EXPECT_EQ(Run(SelfTestKind::kShort).result, SelfTestResult::kStarted);  // failed at 40 %
  const SelfTestLog log = Log();
  ASSERT_EQ(log.entries.size(), 1u);
  EXPECT_EQ(log.entries[0].state, 7);
  EXPECT_EQ(log.entries[0].failingLba, 305419896u);
}

}  // namespace
}  // namespace ds
