#include "drive/read_drive.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

struct Slot {
  std::uint8_t id;
  std::uint8_t current, worst;
  std::uint64_t raw;
  std::uint8_t threshold;
};

// A disk whose data and threshold sectors hold `slots` in order.
std::shared_ptr<SimulatedDisk> MakeDisk(const std::vector<Slot>& slots, const char* signature = "",
                                        const std::string& description = "") {
  SimulatedDiskImage image = testing::MakeImage(testing::TestDriveSpec{});
  image.smart.fill(0);
  image.thresholds.fill(0);
  std::size_t offset = 2;
  for (const Slot& slot : slots) {
    image.smart[offset] = slot.id;
    image.smart[offset + 1] = 0x32;
    image.smart[offset + 3] = slot.current;
    image.smart[offset + 4] = slot.worst;
    for (int i = 0; i < 6; ++i) {
      image.smart[offset + 5 + i] = static_cast<std::uint8_t>(slot.raw >> (8 * i));
    }
    image.thresholds[offset] = slot.id;
    image.thresholds[offset + 1] = slot.threshold;
    offset += 12;
  }
  std::memcpy(image.smart.data() + 400, signature, std::strlen(signature));
  std::string message;
  auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(description), &message);
  EXPECT_TRUE(disk) << message;
  return disk;
}

// Hands out handles on one disk for drive number 0 and counts the opens.
class OneDiskOpener : public AtaDeviceOpener {
 public:
  explicit OneDiskOpener(std::shared_ptr<SimulatedDisk> disk) : disk_(std::move(disk)) {}
  std::unique_ptr<AtaDevice> Open(int driveNumber, const AtaOpenMode&,
                                  std::string* message) override {
    ++opens;
    if (driveNumber != 0 || !disk_)
      return nullptr;
    return disk_->OpenHandle(message);
  }
  std::atomic<int> opens{0};

 private:
  std::shared_ptr<SimulatedDisk> disk_;
};

AttributeTable Table(std::initializer_list<int> ids) {
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "name " + std::to_string(id)});
  return table;
}

// Runs ReadDrive on disk 0 with the given table and model; collects messages and pauses.
struct Reader {
  explicit Reader(std::shared_ptr<SimulatedDisk> disk) : opener(std::move(disk)) {
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

TEST(ReadDriveTest, EmptyTableListsNothingAndKeepsTemperature) {
  Reader reader(MakeDisk({{9, 100, 100, 1111, 0}, {194, 60, 50, 40, 0}}));
  SmartSnapshot s;
  s.temperature = 55;
  s.powerOnHours = 99;  // from an earlier read: reset
  s.attributes.push_back({});
  s.attributeCount = 1;
  ASSERT_EQ(reader.Read(&s), 1);
  EXPECT_EQ(s.attributeCount, 0);
  EXPECT_TRUE(s.attributes.empty());
  EXPECT_EQ(s.powerOnHours, 0u);
  EXPECT_EQ(s.temperature, 55);
}

// The series comes from the model, and a controller signature overrides it before the
// attributes are summed up.
TEST(ReadDriveTest, Sm2246SignatureForcesSeriesZeroSummaries) {
  struct Case {
    const char* model;
    const char* signature;
    int series;
    std::uint64_t reallocated, a170, a231;
    bool sm2246, other;
  };
  const Case cases[] = {
      {"QRB-X52 128GB", "SM2246", 0, 5, 0, 0, true, false},
      {"QRB-X52 128GB", "SM2258", 0, 5, 0, 0, false, true},
      {"QRB-X52 128GB", "", 1, 196, 170, 231, false, false},
      {"QRA-X50", "", 0, 5, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.signature);
    Reader reader(MakeDisk({{5, 100, 100, 5, 10},
                            {170, 100, 100, 170, 10},
                            {196, 100, 100, 196, 0},
                            {231, 100, 100, 231, 0}},
                           c.signature));
    reader.table = Table({5, 170, 196, 231});
    reader.context.selectedModel = c.model;
    SmartSnapshot s;
    ASSERT_EQ(reader.Read(&s), 1);
    EXPECT_EQ(s.modelSeries, c.series);
    EXPECT_EQ(s.reallocatedRaw, c.reallocated);
    EXPECT_EQ(s.attr170Raw, c.a170);
    EXPECT_EQ(s.attr231Raw, c.a231);
    EXPECT_EQ(s.isSm2246, c.sm2246);
    EXPECT_EQ(s.isOtherSm, c.other);
  }
}

TEST(ReadDriveTest, OpenIsTriedTenTimesTwoHundredMillisecondsApart) {
  struct Case {
    int failures;
    int result;
    int opens;
    std::size_t pauses;
  };
  const Case cases[] = {{0, 1, 1, 0}, {3, 1, 4, 3}, {9, 1, 10, 9}, {10, 0, 10, 9}, {50, 0, 10, 9}};
  for (const Case& c : cases) {
    Reader reader(MakeDisk({{9, 100, 100, 1234, 0}}, "",
                           "fault_open_failures=" + std::to_string(c.failures)));
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

TEST(ReadDriveTest, AptioBoardKeepsThresholdsOfTheLastRead) {
  struct Case {
    const char* board;
    std::uint64_t threshold;
  };
  const Case cases[] = {{"PRIME B450M-A", 10}, {"Aptio CRB", 77}, {"CRB Aptio V", 77}, {"", 10}};
  for (const Case& c : cases) {
    Reader reader(MakeDisk({{5, 100, 100, 0, 10}}));
    reader.table = Table({5});
    reader.context.baseBoardProduct = c.board;
    SmartSnapshot s;
    s.thresholdById[5] = 77;
    ASSERT_EQ(reader.Read(&s), 1);
    ASSERT_EQ(s.attributeCount, 1);
    EXPECT_EQ(s.attributes[0].threshold, c.threshold) << c.board;
  }
}

TEST(ReadDriveTest, FailedDataReadShowsGetSmartDataNg) {
  Reader reader(MakeDisk({{9, 100, 100, 1, 0}}, "", "fault_abort_commands=B0:D0"));
  reader.table = Table({9});
  SmartSnapshot s;
  EXPECT_EQ(reader.Read(&s), 0);
  EXPECT_EQ(reader.messages, std::vector<std::string>{"GetSmartData NG"});
  EXPECT_EQ(s.attributeCount, 0);
}

TEST(ReadDriveTest, DataStillArrivesThroughTheSmartDriverPath) {
  Reader reader(MakeDisk({{9, 100, 100, 4321, 0}}, "", "fault_refuse_pass_through=1"));
  reader.table = Table({9});
  SmartSnapshot s;
  ASSERT_EQ(reader.Read(&s), 1);
  EXPECT_EQ(s.powerOnHours, 4321u);
}

TEST(ReadDriveTest, NoOpenerOrUnknownDriveReadsNothing) {
  Reader reader(MakeDisk({{9, 100, 100, 1, 0}}));
  SmartSnapshot s;
  EXPECT_EQ(ReadDrive(reader.context, 3, &s), 0);
  ReadDriveContext empty;
  empty.sleep = [](std::chrono::milliseconds) {};
  EXPECT_EQ(ReadDrive(empty, 0, &s), 0);
}

// A monitor-style thread re-reads two disks in turn while a page-style thread reads the
// shared snapshot under the same lock: every snapshot the page sees must belong wholly to
// one disk.
TEST(ReadDriveTest, PageNeverSeesAHalfRefilledSnapshot) {
  auto diskA = MakeDisk({{9, 100, 100, 1000, 0}, {12, 100, 100, 10, 0}, {194, 60, 60, 30, 0}});
  auto diskB = MakeDisk(
      {{9, 100, 100, 2000, 0}, {12, 100, 100, 20, 0}, {167, 100, 100, 5, 0}, {194, 60, 60, 40, 0}});
  OneDiskOpener openerA(diskA), openerB(diskB);
  AttributeTable table = Table({9, 12, 167, 194});
  ReadDriveContext a, b;
  a.opener = &openerA;
  b.opener = &openerB;
  a.attributeTable = b.attributeTable = &table;
  a.sleep = b.sleep = [](std::chrono::milliseconds) {};

  std::mutex lock;
  SmartSnapshot shared;
  std::atomic<bool> done{false};
  std::atomic<int> inconsistent{0}, checked{0};
  std::thread monitor([&] {
    // Keep re-reading until the page has looked at enough published snapshots.
    for (int i = 0; i < 20000 && (checked < 200 || i % 2 == 1); ++i) {
      ReadDriveAndPublish(i % 2 ? b : a, 0, lock, shared);
    }
    done = true;
  });
  std::thread page([&] {
    while (!done) {
      std::lock_guard<std::mutex> guard(lock);
      const SmartSnapshot& s = shared;
      if (s.attributeCount == 0)
        continue;  // before the first publish
      ++checked;
      bool isA = s.powerOnHours == 1000 && s.powerCycles == 10 && s.temperature == 30 &&
                 s.attributeCount == 3 && s.attributes.size() == 3 && s.attr167Raw == 0;
      bool isB = s.powerOnHours == 2000 && s.powerCycles == 20 && s.temperature == 40 &&
                 s.attributeCount == 4 && s.attributes.size() == 4 && s.attr167Raw == 5;
      if (!isA && !isB)
        ++inconsistent;
    }
  });
  monitor.join();
  page.join();
  EXPECT_EQ(inconsistent, 0);
  EXPECT_GE(checked, 200);
  EXPECT_EQ(shared.powerOnHours, 2000u);  // the last read was disk B
}

}  // namespace
}  // namespace ds
