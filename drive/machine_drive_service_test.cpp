#include "drive/machine_drive_service.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_machine.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using std::chrono::milliseconds;

TEST(DiskSequenceLocksTest, LockFileNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"/dev/sda", "sda.lock"},
      {"/dev/disk/by-id/a b;c", "a_b_c.lock"},
      {"/dev/..", "disk.lock"},
      {"0-disk/", "0-disk.lock"},
  };
  for (const auto& [key, name] : cases)
    EXPECT_EQ(DiskSequenceLocks::LockFileName(key), name) << key;
  EXPECT_NE(SimulatedDiskLockFolder("/a/machine"), SimulatedDiskLockFolder("/b/machine"));
}

// One sequence per disk: the holding thread may nest, another thread waits and is skipped
// after the wait, and gets the disk once it is free; other disks are not held up.
TEST(DiskSequenceLocksTest, OneSequencePerDiskInThisProcess) {
  TempFolder folder;
  DiskSequenceLocks locks(folder.path() + "locks/", milliseconds(100));
  std::string message;
  std::optional<DiskSequenceLocks::Hold> outer = locks.Acquire("/dev/sda", &message);
  ASSERT_TRUE(outer) << message;
  EXPECT_TRUE(locks.Acquire("/dev/sda", &message)) << "the holder nests";
  const auto other = [&locks](const char* key) {
    std::string why;
    const bool got =
        std::async(std::launch::async, [&] { return locks.Acquire(key, &why).has_value(); }).get();
    return std::pair(got, why);
  };
  EXPECT_EQ(other("/dev/sda"),
            std::pair(false, std::string("/dev/sda is in use by another sequence of commands; "
                                         "skipped")));
  EXPECT_TRUE(other("/dev/sdb").first);
  outer.reset();
  EXPECT_TRUE(other("/dev/sda").first);
}

// Lock files live only in a folder of this user that no one else may write.
TEST(DiskSequenceLocksTest, AFolderOthersMayWriteIsRefused) {
  TempFolder folder;
  std::filesystem::create_directories(folder.path() + "open");
  std::filesystem::permissions(folder.path() + "open", std::filesystem::perms::all);
  DiskSequenceLocks locks(folder.path() + "open/", milliseconds(0));
  std::string message;
  EXPECT_FALSE(locks.Acquire("/dev/sda", &message));
  EXPECT_NE(message.find("is not this user's own"), std::string::npos) << message;
  EXPECT_TRUE(
      DiskSequenceLocks(folder.path() + "own/", milliseconds(0)).Acquire("/dev/sda", &message))
      << message;
}

class MachineDriveServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::MakeAtaDriveFolder(folder.path() + "machine/0-disk", {.model = "M", .serial = "S0"});
    std::string message;
    disks = SimulatedMachine::Load(folder.path() + "machine/", &message);
    ASSERT_TRUE(disks) << message;
    service = std::make_unique<MachineDriveService>(*disks, lockFolder, "", log, milliseconds(200));
    list = service->RefreshDriveList({});
    ASSERT_EQ(list.driveCount, 1);
  }
  // Another process's hold of disk 0: a lock of its own on the disk's lock file.
  DiskLockFile HoldElsewhere() {
    DiskLockFile file;
    std::string message;
    EXPECT_EQ(file.Acquire(lockFolder, DiskSequenceLocks::LockFileName(disks->DiskKey(0)),
                           milliseconds(0), &message),
              DiskLockFile::Outcome::kAcquired)
        << message;
    return file;
  }

  TempFolder folder;
  std::string lockFolder = folder.path() + "run/locks/";
  std::vector<std::string> logged;
  MessageSink log = [this](std::string_view line) { logged.emplace_back(line); };
  std::unique_ptr<DiskSystem> disks;
  std::unique_ptr<MachineDriveService> service;
  DriveList list;
};

TEST_F(MachineDriveServiceTest, ADiskHeldByAnotherProgramIsSkippedThenReadOnceFree) {
  const DriveRecord disk = list.drives[0];
  std::vector<std::string> shown;
  const MessageSink show = [&shown](std::string_view text) { shown.emplace_back(text); };
  SmartSnapshot snapshot;
  {
    DiskLockFile elsewhere = HoldElsewhere();
    EXPECT_EQ(service->Read(disk, {}, &snapshot, WakeDisk::kYes, show), DiskRead::kBusy);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("is in use by another program; skipped"), std::string::npos);
    EXPECT_EQ(logged, shown);
    // The enumeration cannot ask it either: it keeps the record it had.
    const DriveList again = service->RefreshDriveList({});
    ASSERT_EQ(again.driveCount, 1);
    EXPECT_EQ(again.drives[0].serial, "S0");
    EraseTarget target;
    target.driveNumber = 0;
    EXPECT_EQ(service->Erase(target, {}, {}).result, EraseResult::kRefused);
  }
  EXPECT_EQ(service->Read(disk, {}, &snapshot, WakeDisk::kYes, show), DiskRead::kRead);
  // A holder that gives the disk up within the wait is waited for.
  std::optional<DiskLockFile> elsewhere = HoldElsewhere();
  std::jthread release([&elsewhere] {
    std::this_thread::sleep_for(milliseconds(50));
    elsewhere.reset();
  });
  EXPECT_EQ(service->Read(disk, {}, &snapshot, WakeDisk::kYes, show), DiskRead::kRead);
}

}  // namespace
}  // namespace ds
