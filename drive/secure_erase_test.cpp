#include "drive/secure_erase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "drive/ata_transport.h"
#include "drive/drive_enumerator.h"
#include "drive/security_commands.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

class SecureEraseTest : public ::testing::Test {
 protected:
  // Loads one SATA SSD with TRIM (and security unless told not) and captures it as the target.
  void Load(const std::string& description, bool security = true, std::uint64_t sectors = 1000000) {
    testing::MakeAtaDriveFolder(
        folder_.path() + "0-disk",
        {.serial = "ER0001", .sectors = sectors, .security = security, .securityWord = 0x0001},
        description);
    std::string message;
    machine_ = SimulatedMachine::Load(folder_.path(), &message);
    ASSERT_TRUE(machine_) << message;
    const DriveList list = RefreshDriveList(*machine_, nullptr);
    ASSERT_EQ(list.driveCount, 1);
    ASSERT_TRUE(CaptureEraseTarget(*machine_, list.drives[0], &target_, &message)) << message;
    if (!disk().security().locked) {  // a locked disk takes no writes
      auto device = machine_->Open(0, AtaOpenMode{}, &message);
      const std::vector<std::uint8_t> data(512, 0x5A);
      for (auto lba : {std::uint32_t{0}, static_cast<std::uint32_t>(sectors - 1)}) {
        const auto b = [lba](int shift) { return static_cast<std::uint8_t>(lba >> shift); };
        TaskFile write{0, 1, b(0), b(8), b(16), std::uint8_t(0xE0 | b(24)), kAtaWriteDma};
        ASSERT_TRUE(AtaPassThroughDirectWrite(*device, &write, data, &message)) << message;
      }
    }
    disk().ClearCommandLog();
  }

  SimulatedDisk& disk() { return *machine_->disk(0); }

  bool Sent(std::uint8_t command) {
    return std::ranges::any_of(disk().CommandLog(),
                               [&](auto& r) { return r.registers.command == command; });
  }

  EraseOutcome Erase(std::stop_token stop = {}) {
    return RunSecureErase(*machine_, target_, callbacks_, stop);
  }

  TempFolder folder_;
  std::unique_ptr<SimulatedMachine> machine_;
  EraseTarget target_;
  EraseCallbacks callbacks_;
};

TEST_F(SecureEraseTest, MethodsFailurePointsAndThePasswordLeftBehind) {
  // description, security, result, message part, password and data left, commands sent, not sent
  using enum EraseResult;
  const std::string kNoTrim = "fault_abort_commands=06";
  const std::string kOwners = "\nsecurity_user_password=x\nsecurity_state=";
  // clang-format off
  const std::tuple<std::string, bool, EraseResult, const char*, bool, bool, std::string, std::string> cases[] = {
      {kNoTrim, true, kErased, "erased by SECURITY ERASE UNIT", false, false, "\xF1\xF3\xF4", "\xF6"},
      {"trim_keeps_data=1", true, kErased, "sector 0 still holds data", false, false, "\x06\xF4", ""},
      {kNoTrim + "\nsecurity_state=frozen", true, kFailed, "suspend", false, true, "", "\xF1"},
      {kNoTrim + kOwners + "locked", true, kFailed, "already protected", true, false, "", "\xF1\xF2\xF6"},
      {kNoTrim + kOwners + "enabled", true, kFailed, "already protected", true, true, "", "\xF1\xF6"},
      {kNoTrim, false, kFailed, "does not support", false, true, "", "\xF1"},  // no security feature set
      // A security command fails (ERASE UNIT also by DRQ): the password is removed again.
      {kNoTrim + ",F1", true, kFailed, "SECURITY SET PASSWORD - Failed", false, true, "\xF1", "\xF3"},
      {kNoTrim + ",F3", true, kFailed, "was removed again", false, true, "\xF6", "\xF4"},
      {kNoTrim + ",F4", true, kFailed, "SECURITY ERASE UNIT - Failed", false, true, "\xF6", "\xF2"},
      {kNoTrim + "\nfault_status_commands=F4", true, kFailed, "was removed again", false, true, "\xF6", ""},
      {kNoTrim + ",F4,F6", true, kFailedPasswordMaybeSet, "hdparm --user-master u --security-disable NDS",
       true, true, "\xF6", ""},
      // ERASE UNIT resets the link and leaves the disk locked: UNLOCK first.
      {kNoTrim + "\nfault_reset_commands=F4", true, kFailed, "was removed again", false, true, "\xF2\xF6", ""},
      {kNoTrim + ",F2\nfault_reset_commands=F4", true, kFailedPasswordMaybeSet, "\"NDS\" may still be set",
       true, true, "\xF2", ""},
      // A read-back that fails is never reported as erased.
      {"fault_abort_commands=25", true, kFailed, "could not be read back", false, false, "\xF4", ""}};
  // clang-format on
  // Security command data as ATA lays it out: word 0 zero (bit 0 user password, ERASE UNIT bit 1
  // normal erase, SET PASSWORD bit 8 High level), words 1-16 the password, 17-255 zero.
  std::vector<std::uint8_t> block(512, 0);
  block[2] = 'N', block[3] = 'D', block[4] = 'S';
  for (const auto& [description, security, result, messageHas, passwordSet, dataLeft, sent,
                    notSent] : cases) {
    SCOPED_TRACE(description + (security ? "" : " without security"));
    Load(description, security);
    const EraseOutcome outcome = Erase();
    for (const SimulatedCommandRecord& record : disk().CommandLog()) {
      const std::uint8_t command = record.registers.command;
      if (command >= 0xF1 && command <= 0xF6 && record.protocol != AtaProtocol::kNonData) {
        EXPECT_EQ(record.dataOut, block) << std::hex << int{command};
      }
    }
    EXPECT_NE(outcome.message.find(messageHas), std::string::npos) << outcome.message;
    EXPECT_EQ(
        std::tuple(outcome.result, disk().security().enabled, disk().StoredSectorCount() != 0),
        std::tuple(result, passwordSet, dataLeft));
    for (char command : sent + notSent)
      EXPECT_EQ(Sent(static_cast<std::uint8_t>(command)), sent.find(command) != std::string::npos)
          << std::hex << (command & 0xFF);
  }
}

TEST_F(SecureEraseTest, TrimRangesProgressAndTheSecurityPhase) {
  constexpr std::uint64_t kFiveBlocks = 5 * 4194240 - 10;
  // description, sectors, TRIM accepted (the ranges then cover the disk), progress, phase
  using Row = std::tuple<const char*, std::uint64_t, bool, std::vector<int>, std::vector<bool>>;
  const Row cases[] = {
      {"", 100, true, {100}, {}},
      {"", kFiveBlocks, true, {20, 40, 60, 100}, {}},
      {"fault_abort_commands=06", 1000000, false, {33, 66, 100}, {true, false}},
      // TRIM reaches 60 before the read-back finds data: 33 would go back.
      {"trim_keeps_data=1", kFiveBlocks, true, {20, 40, 60, 66, 100}, {true, false}}};
  for (const auto& [description, sectors, trimAccepted, wantProgress, wantPhase] : cases) {
    SCOPED_TRACE(std::string(description) + " " + std::to_string(sectors));
    Load(description, true, sectors);
    std::vector<int> progress;
    std::vector<bool> phase;
    callbacks_.progress = [&](int percent) {
      progress.push_back(percent);
      std::string message;  // nothing else gets at the disk while it is erased
      EXPECT_FALSE(machine_->Open(0, AtaOpenMode{}, &message));
      EXPECT_NE(message.find("being erased"), std::string::npos);
    };
    callbacks_.securityPhase = [&](bool inside) { phase.push_back(inside); };
    EXPECT_EQ(std::tuple(Erase().result, progress, phase),
              std::tuple(EraseResult::kErased, wantProgress, wantPhase));
    std::uint64_t next = 0;
    for (const TrimRange& range : disk().TrimmedRanges()) {
      EXPECT_EQ(range.firstLba, next);
      next += range.sectorCount;
    }
    EXPECT_EQ(next, trimAccepted ? sectors : 0);
  }
}

TEST_F(SecureEraseTest, StopIsHonouredBetweenTrimBlocksOnly) {
  Load("", true, 5 * 4194240);
  std::stop_source stopper;
  stopper.request_stop();
  EXPECT_TRUE(Erase(stopper.get_token()).result == EraseResult::kRefused && !Sent(0x06));
  std::stop_source later;  // asked for after the second block
  callbacks_.progress = [&later](int) { later.request_stop(); };
  const EraseOutcome stopped = Erase(later.get_token());
  EXPECT_EQ(stopped.result, EraseResult::kFailed);
  EXPECT_NE(stopped.message.find("stopped"), std::string::npos);
  EXPECT_LT(disk().TrimmedRanges().size(), 5u * 64);
  EXPECT_FALSE(Sent(0xF1));
}

TEST_F(SecureEraseTest, WhatIsOnOrUsesTheDiskRefusesItBeforeAnyCommand) {
  for (const char* description : {"partitions=sdb1", "signatures=LVM2_member", "holders=dm-0",
                                  "opened_elsewhere=1", "volume_count=1\nvolume_1_mount=/mnt"}) {
    SCOPED_TRACE(description);
    Load(description);
    EXPECT_NE(EraseRefusal(*machine_, 0), "");
    const EraseOutcome outcome = Erase();
    EXPECT_EQ(outcome.result, EraseResult::kRefused);
    EXPECT_EQ(outcome.message.rfind("Please remove the file system first!", 0), 0u);
    EXPECT_TRUE(disk().CommandLog().empty());
  }
  Load("");
  EXPECT_EQ(EraseRefusal(*machine_, 0), "");
}

TEST_F(SecureEraseTest, OnlyTheChosenDiskAndOnlyWhenNobodyElseHasIt) {
  Load("");
  const EraseTarget chosen = target_;
  void (*changes[])(EraseTarget*) = {
      [](EraseTarget* t) { t->serial = "ER0002"; },   [](EraseTarget* t) { t->sectorCount += 1; },
      [](EraseTarget* t) { t->diskKey = "1-other"; },  // another disk under the number
      [](EraseTarget* t) { t->driveNumber = 3; },  // no such disk
      [](EraseTarget* t) { t->serial.clear(); },  // nothing to check it by
  };
  for (auto change : changes) {
    target_ = chosen;
    change(&target_);
    EXPECT_TRUE(Erase().result == EraseResult::kRefused && !Sent(0x06));
  }
  target_ = chosen;

  std::string message;
  auto other = machine_->Open(0, AtaOpenMode{}, &message);  // another handle is open
  EXPECT_EQ(Erase().result, EraseResult::kRefused);
  other.reset();
  BusyMark mark = machine_->MarkBusy(0);  // another erase runs
  EXPECT_NE(Erase().message.find("already being erased"), std::string::npos);
  mark = BusyMark();
  EXPECT_FALSE(Sent(0x06));
  EXPECT_EQ(Erase().result, EraseResult::kErased);
  EXPECT_TRUE(!machine_->IsBusy(0) && machine_->Open(0, AtaOpenMode{}, &message));
}

TEST_F(SecureEraseTest, NoEraseOfAnyKindBehindAUsbBridge) {
  testing::MakeAtaDriveFolder(folder_.path() + "0-card", {.serial = "CF01"}, "bus_type=7\n");
  std::string message;
  machine_ = SimulatedMachine::Load(folder_.path(), &message);
  ASSERT_TRUE(machine_) << message;
  const DriveList list = RefreshDriveList(*machine_, nullptr);
  ASSERT_EQ(list.driveCount, 1);
  EXPECT_FALSE(CaptureEraseTarget(*machine_, list.drives[0], &target_, &message));
  EXPECT_EQ(message, kNoEraseBehindUsbBridge);
  EXPECT_EQ(EraseRefusal(*machine_, 0), kNoEraseBehindUsbBridge);
  disk().ClearCommandLog();
  target_ = {0, machine_->DiskKey(0), list.drives[0].model, "CF01", list.drives[0].sectorCount};
  EXPECT_EQ(Erase().message, kNoEraseBehindUsbBridge);
  // Nor does anything that writes go through the bridge, whoever sends it.
  auto device = machine_->Open(0, AtaOpenMode{}, &message);
  std::vector<std::uint8_t> data(512);
  TaskFile trim{1, 1, 0, 0, 0, 0xE0, kAtaDataSetManagement};
  EXPECT_FALSE(AtaPassThroughDirectWrite(*device, &trim, data, &message));
  EXPECT_TRUE(disk().CommandLog().empty());
}

// Words 89 (normal) and 90 (enhanced, when set): 2-minute units plus a quarter and ten minutes.
TEST(SecurityCommandsTest, EraseUnitTimeOutFromIdentify) {
  constexpr int kMinute = 60 * 1000, kUnknown = kEraseUnitUnknownTimeoutMs;
  const std::tuple<std::uint16_t, std::uint16_t, int> cases[] = {
      {0, 0, kUnknown},
      {255, 0, kUnknown},
      {0x8000 | 0x7FFF, 0, kUnknown},
      {1, 0, 2 * kMinute + 30000 + 10 * kMinute},
      {0x8000 | 300, 0, 760 * kMinute},
      {1, 10, 35 * kMinute}};
  for (const auto& [word89, word90, timeoutMs] : cases) {
    IdentifyWords words{};
    words[89] = word89, words[90] = word90;
    EXPECT_EQ(EraseUnitTimeoutMs(words, word90 != 0), timeoutMs) << word89 << " " << word90;
  }
}

}  // namespace
}  // namespace ds
