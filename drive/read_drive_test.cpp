#include "drive/read_drive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

struct Slot {
  std::uint8_t id;
  std::uint64_t raw = 0;
  std::uint8_t threshold = 0;
};

// A disk whose data and threshold sectors hold `slots` in order (current and worst 100).
std::shared_ptr<SimulatedDisk> MakeDisk(const std::vector<Slot>& slots, const char* signature = "",
                                        const std::string& description = "") {
  SimulatedDiskImage image = testing::MakeImage(testing::TestDriveSpec{});
  image.smart.fill(0);
  image.thresholds.fill(0);
  for (std::size_t i = 0; i < slots.size(); ++i) {
    std::uint8_t* data = image.smart.data() + 2 + 12 * i;
    data[0] = image.thresholds[2 + 12 * i] = slots[i].id;
    image.thresholds[3 + 12 * i] = slots[i].threshold;
    data[3] = data[4] = 100;
    for (int b = 0; b < 6; ++b)
      data[5 + b] = static_cast<std::uint8_t>(slots[i].raw >> (8 * b));
  }
  std::memcpy(image.smart.data() + 400, signature, std::strlen(signature));
  std::string message;
  auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(description), &message);
  EXPECT_TRUE(disk) << message;
  return disk;
}

// Hands out handles on one disk as drive 0, counting the opens.
struct OneDiskOpener : AtaDeviceOpener {
  std::unique_ptr<AtaDevice> Open(int n, const AtaOpenMode&, std::string* message) override {
    ++opens;
    if (onOpen)
      onOpen();
    return n == 0 ? disk->OpenHandle(message) : nullptr;
  }
  std::shared_ptr<SimulatedDisk> disk;
  int opens = 0;
  std::function<void()> onOpen;
};

AttributeTable Table(const std::vector<int>& ids) {
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "name " + std::to_string(id)});
  return table;
}

// Runs ReadDrive on disk 0 with the given table and model; collects messages and pauses.
struct Reader {
  explicit Reader(std::shared_ptr<SimulatedDisk> disk) {
    opener.disk = std::move(disk);
    context.opener = &opener;
    context.attributeTable = &table;
    context.selectedModel = "QRA-X50 256GB";
    context.showMessage = [this](std::string_view text) { messages.emplace_back(text); };
    context.sleep = [this](std::chrono::milliseconds pause) { pauses.push_back(pause); };
  }
  int Read(SmartSnapshot* snapshot) { return ReadDrive(context, 0, snapshot); }

  OneDiskOpener opener;
  AttributeTable table;
  ReadDriveContext context;
  std::vector<std::string> messages;
  std::vector<std::chrono::milliseconds> pauses;
};

// Each read starts from a reset snapshot that keeps the temperature the disk does not report
// (and the thresholds, which "Aptio" boards do not read).
TEST(ReadDriveTest, ReadsResetTheSnapshotAndReportAFailedDataRead) {
  struct Case {
    const char* description;
    std::vector<int> table;
    int driveNumber, result;
    std::uint64_t powerOnHours;
    std::vector<std::string> messages;
    const char* board = "PRIME B450M-A";
    std::uint64_t threshold = 10;
  };
  const Case cases[] = {
      {"", {}, 0, 1, 0, {}},  // an empty table lists nothing
      {"", {9, 12}, 0, 1, 4321, {}},
      {"", {9, 12}, 0, 1, 4321, {}, "Aptio CRB", 77},
      {"", {9}, 0, 1, 4321, {}, "CRB Aptio V", 77},
      // Data through the SMART driver path; the threshold read has no such path.
      {"fault_refuse_pass_through=1", {9}, 0, 1, 4321, {}, "PRIME B450M-A", 77},
      {"fault_abort_commands=B0:D0", {9}, 0, 0, 0, {"GetSmartData NG"}},
      {"", {9}, 3, 0, 0, {}},  // no such disk
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.description) + " " + c.board);
    Reader reader(MakeDisk({{9, 4321, 10}, {12, 0}}, "", c.description));
    reader.table = Table(c.table);
    reader.context.baseBoardProduct = c.board;
    SmartSnapshot s;
    s.thresholdById[9] = 77;
    s.temperature = 55;
    s.powerOnHours = 99;
    s.attributes.resize(3);
    s.attributeCount = 3;
    EXPECT_EQ(ReadDrive(reader.context, c.driveNumber, &s), c.result);
    EXPECT_EQ(s.powerOnHours, c.powerOnHours);
    EXPECT_EQ(s.attributeCount, c.result ? static_cast<int>(c.table.size()) : 0);
    EXPECT_EQ(s.attributes.size(), static_cast<std::size_t>(s.attributeCount));
    EXPECT_EQ(s.temperature, 55);
    EXPECT_EQ(reader.messages, c.messages);
    EXPECT_EQ(s.attributes.empty() ? c.threshold : s.attributes[0].threshold, c.threshold);
  }
  ReadDriveContext noOpener;
  noOpener.sleep = [](std::chrono::milliseconds) {};
  SmartSnapshot s;
  EXPECT_EQ(ReadDrive(noOpener, 0, &s), 0);
}

// The series comes from the model, and a controller signature overrides it before the
// attributes are summed up.
TEST(ReadDriveTest, Sm2246SignatureForcesSeriesZeroSummaries) {
  for (const char* signature : {"SM2246", ""}) {
    Reader reader(MakeDisk({{5, 5}, {170, 170}, {196, 196}, {231, 231}}, signature));
    reader.table = Table({5, 170, 196, 231});
    reader.context.selectedModel = "QRB-X52 128GB";
    SmartSnapshot s;
    ASSERT_EQ(reader.Read(&s), 1);
    const bool sm2246 = *signature != '\0';
    EXPECT_EQ(s.isSm2246, sm2246);
    EXPECT_EQ(s.modelSeries, sm2246 ? 0 : 1);
    EXPECT_EQ(s.reallocatedRaw, sm2246 ? 5u : 196u);
    EXPECT_EQ(s.attr231Raw, sm2246 ? 0u : 231u);
  }
}

TEST(ReadDriveTest, OpenIsTriedTenTimesTwoHundredMillisecondsApart) {
  struct Case {
    int failures, result, opens;
    std::size_t pauses;
  };
  const Case cases[] = {{0, 1, 1, 0}, {3, 1, 4, 3}, {9, 1, 10, 9}, {10, 0, 10, 9}, {50, 0, 10, 9}};
  for (const Case& c : cases) {
    Reader reader(MakeDisk({{9, 1234}}, "", "fault_open_failures=" + std::to_string(c.failures)));
    reader.table = Table({9});
    SmartSnapshot s;
    s.powerOnHours = 77;
    EXPECT_EQ(reader.Read(&s), c.result) << c.failures;
    EXPECT_EQ(reader.opener.opens, c.opens) << c.failures;
    ASSERT_EQ(reader.pauses.size(), c.pauses) << c.failures;
    for (auto pause : reader.pauses)
      EXPECT_EQ(pause, std::chrono::milliseconds(200));
    EXPECT_EQ(s.powerOnHours, c.result ? 1234u : 0u);  // the reset stays on failure
    EXPECT_TRUE(reader.messages.empty());              // a disk that never opens is silent
  }
}

// A lock that says whether it is held and how often it was taken.
struct CountingLock {
  void lock() {
    held = true;
    ++taken;
  }
  void unlock() { held = false; }
  bool held = false;
  int taken = 0;
};

// The disk is read into a copy without the lock held; the copy then replaces the shared
// snapshot whole under the lock, so a page never sees a half-refilled snapshot.
TEST(ReadDriveTest, PublishReadsIntoACopyAndSwapsItInUnderTheLock) {
  Reader reader(MakeDisk({{9, 2000}, {12, 20}}));
  reader.table = Table({9, 12});
  CountingLock lock;
  SmartSnapshot shared;
  shared.powerOnHours = 1000;
  shared.temperature = 30;
  reader.opener.onOpen = [&] {
    EXPECT_FALSE(lock.held);
    EXPECT_EQ(shared.powerOnHours, 1000u);
  };
  EXPECT_EQ(ReadDriveAndPublish(reader.context, 0, lock, shared), 1);
  EXPECT_EQ(lock.taken, 2);  // to copy, then to publish
  EXPECT_FALSE(lock.held);
  EXPECT_EQ(shared.powerOnHours, 2000u);
  EXPECT_EQ(shared.attributeCount, 2);
  EXPECT_EQ(shared.temperature, 30);  // carried over in the copy
}

}  // namespace
}  // namespace ds
