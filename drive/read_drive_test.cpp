#include "drive/read_drive.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/identify_words.h"
#include "platform/sim/sim_test_drive.h"
#include "platform/sim/simulated_disk.h"
#include "text/ini_file_reader.h"

namespace ds {
namespace {

// Hands out handles on one disk as drive 0, counting the opens.
struct OneDiskOpener : AtaDeviceOpener {
  std::unique_ptr<AtaDevice> Open(int n, const AtaOpenMode&, std::string* message) override {
    ++opens;
    return n == 0 ? disk->OpenHandle(message) : nullptr;
  }
  std::shared_ptr<SimulatedDisk> disk;
  int opens = 0;
};

AttributeTable Table(const std::vector<int>& ids) {
  AttributeTable table;
  for (int id : ids)
    table.push_back({static_cast<std::uint8_t>(id), "name " + std::to_string(id)});
  return table;
}

// Runs ReadDrive on disk 0 (MakeDisk's by default: 42 hours, threshold 10); keeps messages, pauses.
struct Reader {
  explicit Reader(const std::string& description = "",
                  std::shared_ptr<SimulatedDisk> disk = nullptr) {
    opener.disk = disk ? disk : testing::MakeDisk({}, description);
    context.opener = &opener;
    context.attributeTable = &table;
    context.selectedModel = "QRA-X50 256GB";
    context.showMessage = [this](std::string_view text) { messages.emplace_back(text); };
    context.sleep = [this](std::chrono::milliseconds pause) { pauses.push_back(pause); };
  }

  OneDiskOpener opener;
  AttributeTable table = Table({5, 9});
  ReadDriveContext context;
  std::vector<std::string> messages;
  std::vector<std::chrono::milliseconds> pauses;
};

// A read resets the snapshot but for temperature and thresholds; ten opens 200 ms apart;
// the data sector's attribute 194 is taken whether the table lists it or not.
TEST(ReadDriveTest, ReadsResetTheSnapshotRetryTheOpenAndReportAFailedDataRead) {
  // description, table, drive, result, power-on hours, messages, board, threshold, opens, pauses
  const char* kBoard = "PRIME B450M-A";
  // clang-format off
  const std::tuple<const char*, std::vector<int>, int, int, std::uint64_t, std::vector<std::string>, const char*, std::uint64_t, int, std::size_t> cases[] = {
      {"", {}, 0, 1, 0, {}, kBoard, 10, 1, 0},  // an empty table lists nothing
      {"", {5}, 0, 1, 0, {}, "CRB Aptio V", 77, 1, 0},
      // Data through the SMART driver path; the threshold read has no such path.
      {"fault_refuse_pass_through=1", {5, 9}, 0, 1, 42, {}, kBoard, 77, 1, 0},
      {"fault_abort_commands=B0:D0", {5, 9}, 0, 0, 0, {"GetSmartData NG"}, kBoard, 10, 1, 0},
      {"fault_open_failures=9", {5, 9}, 0, 1, 42, {}, kBoard, 10, 10, 9},
      {"fault_open_failures=10", {5, 9}, 0, 0, 0, {}, kBoard, 10, 10, 9}};  // silent
  // clang-format on
  for (const auto& [description, ids, driveNumber, wantResult, powerOnHours, wantMessages, board,
                    threshold, wantOpens, wantPauses] : cases) {
    SCOPED_TRACE(std::string(description) + " " + board);
    Reader reader(description);
    reader.table = Table(ids);
    reader.context.baseBoardProduct = board;
    SmartSnapshot s;
    s.thresholdById[5] = 77, s.temperature = 55, s.powerOnHours = 99, s.attributeCount = 3;
    s.attributes.resize(3), s.attribute194Celsius = 7;
    EXPECT_EQ(ReadDrive(reader.context, driveNumber, &s), wantResult);
    EXPECT_EQ(std::tuple(s.powerOnHours, s.attributeCount, s.attributes.size(), s.temperature,
                         s.attributes.empty() ? threshold : s.attributes[0].threshold,
                         reader.opener.opens, reader.messages, s.attribute194Celsius),
              std::tuple(powerOnHours, wantResult ? static_cast<int>(ids.size()) : 0,
                         wantResult ? ids.size() : 0, 55, threshold, wantOpens, wantMessages,
                         wantResult ? std::optional<int>(35) : std::nullopt));  // unlisted 194
    EXPECT_EQ(reader.pauses,
              std::vector<std::chrono::milliseconds>(wantPauses, std::chrono::milliseconds(200)));
  }
  SmartSnapshot s;
  EXPECT_EQ(ReadDrive(ReadDriveContext{}, 0, &s), 0);  // no opener
}

// A controller signature overrides the model's series before the attributes are summed up.
TEST(ReadDriveTest, Sm2246SignatureForcesSeriesZeroSummaries) {
  for (bool sm2246 : {true, false}) {
    SimulatedDiskImage image = testing::MakeImage({.vendorSignature = sm2246});
    for (std::uint8_t id : {196, 231}) {  // in slots 3 and 4, the raw value their id
      std::uint8_t* slot = image.smart.data() + 2 + 12 * (id == 196 ? 3 : 4);
      slot[0] = slot[5] = id;
      slot[3] = slot[4] = 100;
    }
    std::string message;
    Reader reader("", SimulatedDisk::Create(image, IniFileReader::FromText(""), &message));
    reader.table = Table({5, 196, 231});
    reader.context.selectedModel = "QRB-X52 128GB";
    SmartSnapshot s;
    ASSERT_EQ(ReadDrive(reader.context, 0, &s), 1);
    EXPECT_EQ(std::tuple(s.isSm2246, s.modelSeries, s.reallocatedRaw, s.attr231Raw),
              std::tuple(sm2246, sm2246 ? 0 : 1, sm2246 ? 0u : 196u, sm2246 ? 0u : 231u));
  }
}

// Device statistics follow the S.M.A.R.T. sectors where the log directory lists them; a
// disk without logs, or whose log read fails, reads as before and stops at the directory.
TEST(ReadDriveTest, DeviceStatisticsAfterTheSmartSectorsNeverFailTheRead) {
  // Logs, general purpose logging, description, percentage used (-1: none), log commands sent.
  const std::tuple<bool, bool, const char*, int, std::vector<std::uint8_t>> cases[] = {
      {false, false, "", -1, {0xB0}},
      {true, true, "", 7, {0x2F, 0x2F}},
      {true, false, "", 107, {0xB0, 0xB0}},
      {true, true, "fault_abort_commands=2F", -1, {0x2F}},
      {true, false, "fault_short_transfer_commands=B0:D5", -1, {0xB0}}};
  for (const auto& [logs, gpl, description, percentage, logCommands] : cases) {
    SCOPED_TRACE(description);
    SimulatedDiskImage image = testing::MakeImage({});
    if (logs)
      testing::AddDeviceStatistics(&image, percentage < 0 ? 7 : percentage, gpl);
    std::string message;
    Reader reader("", SimulatedDisk::Create(image, IniFileReader::FromText(description), &message));
    reader.context.identifyWords = IdentifyWordsFromBytes(image.identify);
    SmartSnapshot s;
    s.deviceStatistics = DeviceStatistics{};
    ASSERT_EQ(ReadDrive(reader.context, 0, &s), 1);
    EXPECT_EQ(s.attributeCount, 2);
    EXPECT_EQ(s.deviceStatistics ? s.deviceStatistics->Value(DeviceStatisticId::kPercentageUsed)
                                 : std::nullopt,
              percentage < 0 ? std::nullopt : std::optional<std::int64_t>(percentage));
    std::vector<std::uint8_t> sent;
    for (const SimulatedCommandRecord& r : reader.opener.disk->CommandLog()) {
      if (r.registers.command == 0x2F ||
          (r.registers.command == 0xB0 && r.registers.features == 0xD5))
        sent.push_back(r.registers.command);
    }
    EXPECT_EQ(sent, logCommands);
  }
}

// The self-test and error logs come from the directory that lists them: the extended logs on
// a disk with general purpose logging, else the one-sector SMART logs (by the SMART data on a
// disk without a directory, -1); a failed read of either leaves only that log out.
TEST(ReadDriveTest, SelfTestAndErrorLogsFromTheLogDirectory) {
  // General purpose logging, logs listed, SMART data byte 367 / 370, the summary error log's
  // index, description; then the newest self-test's LBA (-1: no log, 0: none), the error
  // count (-1: no log).
  using Case = std::tuple<bool, std::vector<int>, int, int, int, const char*, long long, int>;
  const Case cases[] = {{true, {3, 7}, 0, 0, 1, "", 1ll << 30, 5},
                        {true, {3, 7}, 0, 0, 1, "fault_abort_commands=2F", -1, -1},  // no directory
                        {true, {}, 0x10, 1, 1, "", 0, 2},  // SMART logs by the SMART data
                        {true, {}, 0, 0, 1, "", -1, -1},
                        {false, {1, 6}, 0, 0, 1, "", 0, 2},
                        {false, {1, 6}, 0, 0, 9, "", 0, -1},  // an index out of range
                        {false, {4}, 0x10, 1, 1, "", -1, -1},
                        {false, {-1}, 0x10, 1, 1, "", 0, 2},  // no directory: by the SMART data
                        {false, {-1}, 0, 0, 1, "", -1, -1}};
  for (const auto& [gpl, listed, offline, errorLogging, summaryIndex, description, lba, count] :
       cases) {
    SCOPED_TRACE(::testing::PrintToString(listed) + description);
    SimulatedDiskImage image = testing::MakeImage({});
    testing::AddDeviceStatistics(&image, 7, gpl);
    for (int address : listed)
      address < 0 ? void(image.logs.erase(0)) : void(image.logs[0][2 * address] = 1);
    std::vector<std::uint8_t> selfTests(512), extendedErrors(512), summaryErrors(512);
    selfTests[2] = 1, selfTests[4] = 2, selfTests[5] = 0x73, selfTests[12] = 0x40;
    extendedErrors[2] = 1, extendedErrors[4] = 1, extendedErrors[500] = 5;
    summaryErrors[1] = static_cast<std::uint8_t>(summaryIndex), summaryErrors[2] = 1,
    summaryErrors[452] = 2;
    image.logs[7] = selfTests, image.logs[3] = extendedErrors, image.logs[1] = summaryErrors;
    image.smart[367] = static_cast<std::uint8_t>(offline), image.smart[370] = errorLogging;
    image.smart[511] = static_cast<std::uint8_t>(
        -std::accumulate(image.smart.begin(), image.smart.begin() + 511, 0));
    std::string message;
    Reader reader("", SimulatedDisk::Create(image, IniFileReader::FromText(description), &message));
    reader.context.identifyWords = IdentifyWordsFromBytes(image.identify);
    SmartSnapshot s;
    ASSERT_EQ(ReadDrive(reader.context, 0, &s), 1);
    const SelfTestLogEntry* newest =
        s.selfTestLog && !s.selfTestLog->entries.empty() ? &s.selfTestLog->entries[0] : nullptr;
    EXPECT_EQ(
        s.selfTestLog ? (newest ? static_cast<long long>(newest->failingLba.value_or(0)) : 0) : -1,
        lba);
    EXPECT_EQ(s.errorLog ? s.errorLog->errorCount : -1, count);
    EXPECT_EQ(s.errorLog && s.errorLog->extended, count == 5);  // 5: the extended log's count
    EXPECT_EQ(s.selfTestLog && s.selfTestLog->extended, gpl && lba > 0);
    EXPECT_EQ(s.selfTestCapability.supported, offline != 0);  // for the page's buttons
  }
}

// SMART RETURN STATUS: failed once pre-failure attribute 5 is at its threshold (10).
TEST(ReadDriveTest, SmartReturnStatusGivesTheDisksVerdict) {
  for (const auto& [current, passed] : {std::pair{11, true}, std::pair{10, false}}) {
    SimulatedDiskImage image = testing::MakeImage({});
    image.smart[2 + 3] = static_cast<std::uint8_t>(current);
    std::string message;
    Reader reader("", SimulatedDisk::Create(image, IniFileReader::FromText(""), &message));
    SmartSnapshot s;
    ASSERT_TRUE(ReadDrive(reader.context, 0, &s));
    EXPECT_EQ(s.smartStatusPassed, std::optional<bool>(passed)) << current;
  }
}

}  // namespace
}  // namespace ds
