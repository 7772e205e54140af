#include "drive/read_drive.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

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

}  // namespace
}  // namespace ds
