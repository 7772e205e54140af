#include "platform/sim/simulated_disk.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/sim/sim_test_drive.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using testing::GetWord;
using testing::MakeDisk;
using testing::MakeImage;
using testing::TestDriveSpec;
using testing::WriteBytes;
using testing::WriteDriveFolder;

using Bytes = std::vector<std::uint8_t>;

AtaResult Send(SimulatedDisk& disk, TaskFile registers, AtaProtocol protocol, Bytes* data,
               int timeoutMs = 10000) {
  AtaCommand command;
  command.registers = registers;
  command.protocol = protocol;
  if (data)
    command.data = *data;
  command.timeoutMs = timeoutMs;
  return disk.Execute(command);
}

AtaResult SendNoData(SimulatedDisk& disk, TaskFile registers) {
  return Send(disk, registers, AtaProtocol::kNonData, nullptr);
}

constexpr TaskFile kSmartReadData{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
constexpr TaskFile kSmartReadThresholds{0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0};
constexpr TaskFile kIdentify{0, 1, 0, 0, 0, 0xA0, 0xEC};

TaskFile Lba28(std::uint8_t command, std::uint32_t lba, std::uint8_t count) {
  return TaskFile{0,
                  count,
                  static_cast<std::uint8_t>(lba),
                  static_cast<std::uint8_t>(lba >> 8),
                  static_cast<std::uint8_t>(lba >> 16),
                  static_cast<std::uint8_t>(0xE0 | ((lba >> 24) & 0x0F)),
                  command};
}

bool IsAbort(const AtaResult& result) {
  return result.transportOk && result.registers.status() == 0x51 &&
         result.registers.error() == kAtaErrorAbrt;
}

bool IsGood(const AtaResult& result) {
  return result.transportOk && result.registers.status() == 0x50;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---- real drive dumps ----

std::vector<std::string> RealDriveFolders() {
  std::vector<std::string> folders;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(DS_TESTDATA_DIR) + "/real-drives")) {
    if (entry.is_directory())
      folders.push_back(entry.path().string());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

std::uint64_t HdparmCount(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos)
    return 0;
  return std::stoull(text.substr(text.find(':', at) + 1));
}

TEST(SimulatedDiskRealDrives, AnswersWithTheDumpsAndTheirFacts) {
  const std::vector<std::string> folders = RealDriveFolders();
  ASSERT_EQ(folders.size(), 13u);
  for (const std::string& folder : folders) {
    SCOPED_TRACE(folder);
    std::string message;
    auto disk = SimulatedDisk::Load(folder, &message);
    ASSERT_NE(disk, nullptr) << message;
    const std::string hdparm = ReadText(folder + "/reference-hdparm.txt");
    const std::uint64_t lba48 = HdparmCount(hdparm, "LBA48  user addressable sectors");
    EXPECT_EQ(disk->capacity(), lba48 ? lba48 : HdparmCount(hdparm, "LBA    user addressable"));
    EXPECT_EQ(disk->security().frozen, hdparm.find("\tnot\tfrozen") == std::string::npos);

    const struct {
      TaskFile registers;
      const char* file;
    } reads[] = {{kIdentify, "/identify.bin"},
                 {kSmartReadData, "/smart.bin"},
                 {kSmartReadThresholds, "/thresholds.bin"}};
    for (const auto& read : reads) {
      Bytes sector(512, 0xCC);
      EXPECT_TRUE(IsGood(Send(*disk, read.registers, AtaProtocol::kPioDataIn, &sector)));
      const std::string expected = ReadText(folder + read.file);
      EXPECT_EQ(std::string(sector.begin(), sector.end()), expected) << read.file;
    }

    // TRIM of the first sector works exactly on the disks hdparm says support it.
    Bytes block(512, 0);
    block[6] = 1;
    const AtaResult trim =
        Send(*disk, TaskFile{1, 1, 0, 0, 0, 0xE0, 0x06}, AtaProtocol::kDmaOut, &block);
    EXPECT_EQ(IsGood(trim), hdparm.find("TRIM supported") != std::string::npos);
  }
}

// ---- loading ----

struct LoadFailure {
  const char* name;
  const char* file;  // file to write ("" for none)
  std::size_t size;  // its size in bytes
  const char* description;
  const char* messagePart;
};

class SimulatedDiskLoadTest : public ::testing::TestWithParam<LoadFailure> {};

TEST_P(SimulatedDiskLoadTest, FailsWithAMessage) {
  const LoadFailure& c = GetParam();
  TempFolder folder;
  WriteDriveFolder(folder.path(), MakeImage(TestDriveSpec{}), c.description);
  if (std::string(c.file) == "-identify.bin") {
    std::filesystem::remove(folder.path() + "identify.bin");
  } else if (*c.file) {
    const Bytes content(c.size, 0x11);
    WriteBytes(folder.path() + c.file, content.data(), content.size());
  }
  std::string message;
  EXPECT_EQ(SimulatedDisk::Load(folder.path(), &message), nullptr);
  EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, SimulatedDiskLoadTest,
    ::testing::Values(
        LoadFailure{"MissingIdentify", "-identify.bin", 0, "", "identify.bin"},
        LoadFailure{"TruncatedSmart", "smart.bin", 300, "", "smart.bin holds 300 bytes"},
        LoadFailure{"EmptyIdentify", "identify.bin", 0, "", "identify.bin holds 0 bytes"},
        LoadFailure{"OversizedThresholds", "thresholds.bin", 1024, "", "thresholds.bin"},
        LoadFailure{"PartVendorPage", "vendor_page_1.bin", 100, "", "whole 512-byte sectors"},
        LoadFailure{"VendorPageNumberTooBig", "vendor_page_256.bin", 512, "", "0-255"},
        LoadFailure{"SectorsNotANumber", "", 0, "sectors=abc\n", "sectors=abc"},
        LoadFailure{"SectorsTooLarge", "", 0, "sectors=99999999999999999999\n", "sectors="},
        LoadFailure{"FlagNotAFlag", "", 0, "smart_enabled=maybe\n", "expected 0 or 1"},
        LoadFailure{"UnknownSecurityState", "", 0, "security_state=purple\n", "purple"},
        LoadFailure{"TooManyOpenFailures", "", 0, "fault_open_failures=5000\n", "up to 1000"},
        LoadFailure{"CommandNotHex", "", 0, "fault_abort_commands=0xZZ\n", "0xZZ"},
        LoadFailure{"CommandTooBig", "", 0, "fault_abort_commands=0x1B0\n", "0x1B0"},
        LoadFailure{"PasswordTooLong", "", 0,
                    "security_user_password=0123456789012345678901234567890123\n", "at most 32"},
        LoadFailure{"SlowTooLong", "", 0, "fault_slow_ms=999999999\n", "fault_slow_ms"}),
    [](const ::testing::TestParamInfo<LoadFailure>& info) { return std::string(info.param.name); });

TEST(SimulatedDiskLoad, IgnoresKeysItDoesNotKnowAndReadsItsOwn) {
  TempFolder folder;
  WriteDriveFolder(folder.path(), MakeImage(TestDriveSpec{}),
                   "bus_type=11\nvolumes=/mnt/a\nsectors=4096\nfault_abort_commands= b0:d1 , F4\n");
  const Bytes page(1024, 0x5A);
  WriteBytes(folder.path() + "vendor_page_3.bin", page.data(), page.size());
  std::string message;
  auto disk = SimulatedDisk::Load(folder.path(), &message);
  ASSERT_NE(disk, nullptr) << message;
  EXPECT_EQ(disk->capacity(), 4096u);
  Bytes sector(512);
  EXPECT_TRUE(IsAbort(Send(*disk, kSmartReadThresholds, AtaProtocol::kPioDataIn, &sector)));
  EXPECT_TRUE(IsGood(Send(*disk, kSmartReadData, AtaProtocol::kPioDataIn, &sector)));
}

// ---- SMART and IDENTIFY ----

struct CommandCase {
  const char* name;
  TestDriveSpec wanted;
  const char* description;
  TaskFile registers;
  AtaProtocol protocol;
  std::size_t dataBytes;
  std::uint8_t status;
  std::uint8_t error;
  std::uint8_t lbaMid;  // returned cylinder low
  std::uint8_t lbaHigh;
};

class SimulatedDiskCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SimulatedDiskCommandTest, AnswersAsADiskDoes) {
  const CommandCase& c = GetParam();
  auto disk = MakeDisk(c.wanted, c.description);
  ASSERT_NE(disk, nullptr);
  Bytes data(c.dataBytes);
  const AtaResult result = Send(*disk, c.registers, c.protocol, c.dataBytes ? &data : nullptr);
  ASSERT_TRUE(result.transportOk) << result.osErrorText;
  EXPECT_EQ(result.registers.status(), c.status);
  EXPECT_EQ(result.registers.error(), c.error);
  EXPECT_EQ(result.registers.cylinderLow, c.lbaMid);
  EXPECT_EQ(result.registers.cylinderHigh, c.lbaHigh);
}

constexpr AtaProtocol kIn = AtaProtocol::kPioDataIn;
constexpr AtaProtocol kNone = AtaProtocol::kNonData;

INSTANTIATE_TEST_SUITE_P(
    SmartAndIdentify, SimulatedDiskCommandTest,
    ::testing::Values(
        CommandCase{"ReadData", {}, "", kSmartReadData, kIn, 512, 0x50, 0, 0x4F, 0xC2},
        CommandCase{"ReadDataWithoutSignature",
                    {},
                    "",
                    {0xD0, 1, 0, 0, 0, 0xA0, 0xB0},
                    kIn,
                    512,
                    0x51,
                    0x04,
                    0,
                    0},
        CommandCase{"ReadDataWhileDisabled",
                    {},
                    "smart_enabled=0",
                    kSmartReadData,
                    kIn,
                    512,
                    0x51,
                    0x04,
                    0x4F,
                    0xC2},
        CommandCase{"ThresholdsWhileDisabled",
                    {},
                    "smart_enabled=0",
                    kSmartReadThresholds,
                    kIn,
                    512,
                    0x50,
                    0,
                    0x4F,
                    0xC2},
        CommandCase{"SmartNotSupported",
                    {.smart = false},
                    "",
                    kSmartReadData,
                    kIn,
                    512,
                    0x51,
                    0x04,
                    0x4F,
                    0xC2},
        CommandCase{"ReadDataAsNonData", {}, "", kSmartReadData, kNone, 0, 0x51, 0x04, 0x4F, 0xC2},
        CommandCase{"ReturnStatusHealthy",
                    {},
                    "",
                    {0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0},
                    kNone,
                    0,
                    0x50,
                    0,
                    0x4F,
                    0xC2},
        CommandCase{"Identify", {}, "", kIdentify, kIn, 512, 0x50, 0, 0, 0},
        CommandCase{"IdentifyPacketOnAtaDisk",
                    {},
                    "",
                    {0, 1, 0, 0, 0, 0xA0, 0xA1},
                    kIn,
                    512,
                    0x51,
                    0x04,
                    0,
                    0},
        CommandCase{
            "UnknownCommand", {}, "", {0, 0, 0, 0, 0, 0xE0, 0x99}, kNone, 0, 0x51, 0x04, 0, 0},
        CommandCase{"FaultStatusDrq",
                    {},
                    "fault_status_commands=B0:D0",
                    kSmartReadData,
                    kIn,
                    512,
                    0x58,
                    0,
                    0x4F,
                    0xC2},
        CommandCase{"FaultAbortOneFeature",
                    {},
                    "fault_abort_commands=0xB0:0xD0",
                    kSmartReadData,
                    kIn,
                    512,
                    0x51,
                    0x04,
                    0x4F,
                    0xC2}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST(SimulatedDiskSmart, EnableDisableAndReturnStatusFollowTheData) {
  TestDriveSpec wanted;
  SimulatedDiskImage image = MakeImage(wanted);
  image.smart[5] = 9;  // attribute 5 at 9, threshold 10: exceeded
  std::string message;
  auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
  ASSERT_NE(disk, nullptr);
  const AtaResult status = SendNoData(*disk, TaskFile{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0});
  EXPECT_EQ(status.registers.cylinderLow, 0xF4);
  EXPECT_EQ(status.registers.cylinderHigh, 0x2C);

  EXPECT_TRUE(IsGood(SendNoData(*disk, TaskFile{0xD9, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0})));
  EXPECT_FALSE(disk->smartEnabled());
  Bytes sector(512);
  EXPECT_TRUE(IsAbort(Send(*disk, kSmartReadData, kIn, &sector)));
  EXPECT_TRUE(IsGood(SendNoData(*disk, TaskFile{0xD8, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0})));
  EXPECT_TRUE(IsGood(Send(*disk, kSmartReadData, kIn, &sector)));
  EXPECT_EQ(sector[5], 9);
}

TEST(SimulatedDiskSmart, DriverPathSuppliesTheSignatureAndFailsOnAbort) {
  auto disk = MakeDisk({}, "smart_enabled=0");
  Bytes sector(512);
  // The driver path fills in 0x4F/0xC2 itself.
  AtaResult read = disk->SmartDriverCommand(TaskFile{0xD0, 1, 1, 0, 0, 0xA0, 0xB0}, sector);
  EXPECT_FALSE(read.transportOk);
  EXPECT_EQ(read.osError, EIO);
  EXPECT_TRUE(disk->SmartDriverCommand(TaskFile{0xD8, 1, 1, 0, 0, 0xA0, 0xB0}, {}).transportOk);
  read = disk->SmartDriverCommand(TaskFile{0xD0, 1, 1, 0, 0, 0xA0, 0xB0}, sector);
  EXPECT_TRUE(read.transportOk);
  EXPECT_EQ(sector[2], 5);
  const std::vector<SimulatedCommandRecord> log = disk->CommandLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[2].viaSmartDriver);
  EXPECT_EQ(log[2].registers.cylinderHigh, 0xC2);
}

TEST(SimulatedDiskIdentify, PacketDeviceTakesOnlyThePacketIdentify) {
  SimulatedDiskImage image = MakeImage({});
  testing::PutWord(&image.identify, 0, 0x85C0);
  std::string message;
  auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
  Bytes sector(512);
  const AtaResult ata = Send(*disk, kIdentify, kIn, &sector);
  EXPECT_TRUE(IsAbort(ata));
  EXPECT_EQ(ata.registers.cylinderLow, 0x14);
  EXPECT_EQ(ata.registers.cylinderHigh, 0xEB);
  EXPECT_TRUE(IsGood(Send(*disk, TaskFile{0, 1, 0, 0, 0, 0xA0, 0xA1}, kIn, &sector)));
  EXPECT_EQ(GetWord(sector.data(), 0), 0x85C0);
}

// ---- sectors ----

TEST(SimulatedDiskSectors, WritesReadBackAndStaySparse) {
  auto disk = MakeDisk({.sectors = 2000});
  Bytes two(1024);
  for (std::size_t i = 0; i < two.size(); ++i)
    two[i] = static_cast<std::uint8_t>(i * 7 + 1);
  EXPECT_TRUE(
      IsGood(Send(*disk, Lba28(kAtaWriteSectors, 1998, 2), AtaProtocol::kPioDataOut, &two)));
  EXPECT_EQ(disk->StoredSectorCount(), 2u);
  Bytes back(1024, 0xFF);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaReadDma, 1998, 2), AtaProtocol::kDmaIn, &back)));
  EXPECT_EQ(back, two);
  Bytes never(512, 0xFF);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaReadSectors, 5, 1), kIn, &never)));
  EXPECT_EQ(never, Bytes(512, 0));
  Bytes zeros(512, 0);
  EXPECT_TRUE(
      IsGood(Send(*disk, Lba28(kAtaWriteSectors, 1998, 1), AtaProtocol::kPioDataOut, &zeros)));
  EXPECT_EQ(disk->StoredSectorCount(), 1u);
}

struct RangeCase {
  const char* name;
  TaskFile registers;
  AtaProtocol protocol;
  std::size_t dataBytes;
  std::uint8_t status;
  std::uint8_t error;
};

class SimulatedDiskRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SimulatedDiskRangeTest, ChecksAddressCountAndProtocol) {
  const RangeCase& c = GetParam();
  auto disk = MakeDisk({.sectors = 2000});
  Bytes data(c.dataBytes);
  const AtaResult result = Send(*disk, c.registers, c.protocol, &data);
  ASSERT_TRUE(result.transportOk);
  EXPECT_EQ(result.registers.status(), c.status);
  EXPECT_EQ(result.registers.error(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, SimulatedDiskRangeTest,
    ::testing::Values(
        RangeCase{"LastSector", Lba28(0x20, 1999, 1), kIn, 512, 0x50, 0},
        RangeCase{"PastTheEnd", Lba28(0x20, 2000, 1), kIn, 512, 0x51, kAtaErrorIdnf},
        RangeCase{"CountZeroMeans256", Lba28(0x20, 0, 0), kIn, 256 * 512, 0x50, 0},
        RangeCase{"CountZeroWithOneSector", Lba28(0x20, 0, 0), kIn, 512, 0x51, kAtaErrorAbrt},
        RangeCase{"HighNibbleInDevice", Lba28(0x20, 0x1000000, 1), kIn, 512, 0x51, kAtaErrorIdnf},
        RangeCase{"ChsAddressing", {0, 1, 1, 0, 0, 0xA0, 0x20}, kIn, 512, 0x51, kAtaErrorAbrt},
        RangeCase{"ReadDmaSentAsPio", Lba28(0xC8, 0, 1), kIn, 512, 0x51, kAtaErrorAbrt}),
    [](const ::testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

TEST(SimulatedDiskSectors, ExtendedCommandsAddress48Bits) {
  auto disk = MakeDisk({.sectors = 0x200000000ull});
  Bytes data(512, 0x42);
  AtaCommand write;
  write.registers = TaskFile{0, 1, 0x01, 0, 0, 0x40, kAtaWriteSectorsExt};
  write.previousRegisters = TaskFile{0, 0, 0, 0x01, 0, 0, 0};  // LBA 0x1_0000_0001
  write.extended = true;
  write.protocol = AtaProtocol::kPioDataOut;
  write.data = data;
  EXPECT_TRUE(IsGood(disk->Execute(write)));
  EXPECT_EQ(disk->StoredSector(0x100000001ull)[0], 0x42);
  EXPECT_EQ(disk->StoredSector(1)[0], 0);
}

// ---- vendor key sequence ----

constexpr std::uint16_t kKeys[] = {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA};

TaskFile KeyRegisters(std::uint8_t command, std::uint16_t key, std::uint8_t count) {
  return TaskFile{
      0,    count,  static_cast<std::uint8_t>(key & 0xFF), static_cast<std::uint8_t>(key >> 8), 0,
      0xE0, command};
}

Bytes Selector(std::uint8_t page) {
  Bytes block(512, 0);
  block[0] = 0xF0;
  block[1] = 0x20;
  block[11] = page;
  return block;
}

std::shared_ptr<SimulatedDisk> VendorDisk() {
  SimulatedDiskImage image = MakeImage({.vendorSignature = true});
  Bytes page(1024);
  for (std::size_t i = 0; i < page.size(); ++i)
    page[i] = static_cast<std::uint8_t>(i % 251);
  image.vendorPages[1] = page;
  std::string message;
  return SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
}

// Sends the steps in order; returns the result of the last one.
AtaResult RunKeys(SimulatedDisk& disk, const std::vector<std::uint16_t>& keys) {
  AtaResult last;
  for (std::uint16_t key : keys) {
    Bytes sector(512);
    last = Send(disk, KeyRegisters(kAtaReadSectors, key, 1), kIn, &sector);
  }
  return last;
}

TEST(SimulatedDiskVendor, FiveKeysSelectorAndReadReturnThePage) {
  for (const std::uint8_t count : {1, 2}) {
    SCOPED_TRACE(count);
    auto disk = VendorDisk();
    EXPECT_TRUE(IsGood(RunKeys(*disk, {kKeys, kKeys + 5})));
    Bytes selector = Selector(1);
    EXPECT_TRUE(IsGood(Send(*disk, KeyRegisters(kAtaWriteSectors, 0x55AA, 1),
                            AtaProtocol::kPioDataOut, &selector)));
    EXPECT_EQ(disk->StoredSectorCount(), 0u);  // the selector is not stored
    const std::uint8_t command = count == 1 ? kAtaReadSectors : kAtaReadDma;
    Bytes page(count * 512, 0xFF);
    EXPECT_TRUE(IsGood(Send(*disk, KeyRegisters(command, 0x55AA, count),
                            count == 1 ? kIn : AtaProtocol::kDmaIn, &page)));
    for (std::size_t i = 0; i < page.size(); ++i)
      ASSERT_EQ(page[i], i % 251) << i;
    // The page is returned once; the same address then reads the ordinary sector.
    Bytes again(512, 0xFF);
    Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA, 1), kIn, &again);
    EXPECT_EQ(again, Bytes(512, 0));
  }
}

struct VendorOrderCase {
  const char* name;
  std::vector<std::uint16_t> keys;
  bool interleaveSmartRead;  // a SMART read after the third key
};

class SimulatedDiskVendorOrderTest : public ::testing::TestWithParam<VendorOrderCase> {};

TEST_P(SimulatedDiskVendorOrderTest, AnyOtherOrderLeavesTheSelectorAnOrdinaryWrite) {
  const VendorOrderCase& c = GetParam();
  auto disk = VendorDisk();
  for (std::size_t i = 0; i < c.keys.size(); ++i) {
    RunKeys(*disk, {c.keys[i]});
    if (c.interleaveSmartRead && i == 2) {
      Bytes sector(512);
      Send(*disk, kSmartReadData, kIn, &sector);
    }
  }
  Bytes selector = Selector(1);
  EXPECT_TRUE(IsGood(
      Send(*disk, KeyRegisters(kAtaWriteSectors, 0x55AA, 1), AtaProtocol::kPioDataOut, &selector)));
  Bytes read(512);
  EXPECT_TRUE(IsGood(Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA, 1), kIn, &read)));
  EXPECT_EQ(read, selector);  // the written sector, not the vendor page
}

INSTANTIATE_TEST_SUITE_P(
    Orders, SimulatedDiskVendorOrderTest,
    ::testing::Values(
        VendorOrderCase{"ThirdKeySkipped", {0x00AA, 0xAA00, 0x5500, 0x55AA}, false},
        VendorOrderCase{"TwoKeysSwapped", {0x00AA, 0x0055, 0xAA00, 0x5500, 0x55AA}, false},
        VendorOrderCase{"OnlyFourKeys", {0x00AA, 0xAA00, 0x0055, 0x5500}, false},
        VendorOrderCase{"InterruptedBySmart", {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA}, true}),
    [](const ::testing::TestParamInfo<VendorOrderCase>& info) {
      return std::string(info.param.name);
    });

TEST(SimulatedDiskVendor, BadSelectorsAbortAndReset) {
  const struct {
    const char* name;
    Bytes block;
  } cases[] = {{"WrongMagic",
                [] {
                  Bytes b = Selector(1);
                  b[0] = 0xF1;
                  return b;
                }()},
               {"UnknownPage", Selector(9)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = VendorDisk();
    RunKeys(*disk, {kKeys, kKeys + 5});
    Bytes block = c.block;
    EXPECT_TRUE(IsAbort(
        Send(*disk, KeyRegisters(kAtaWriteSectors, 0x55AA, 1), AtaProtocol::kPioDataOut, &block)));
    Bytes read(512, 0xFF);
    Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA, 1), kIn, &read);
    EXPECT_EQ(read, Bytes(512, 0));
  }
}

TEST(SimulatedDiskVendor, DisksWithoutTheSignatureIgnoreTheKeys) {
  auto disk = MakeDisk({}, "");
  RunKeys(*disk, {kKeys, kKeys + 5});
  Bytes selector = Selector(1);
  Send(*disk, KeyRegisters(kAtaWriteSectors, 0x55AA, 1), AtaProtocol::kPioDataOut, &selector);
  EXPECT_EQ(disk->StoredSectorCount(), 1u);
}

// ---- TRIM ----

Bytes TrimBlock(const std::vector<std::pair<std::uint64_t, std::uint16_t>>& entries,
                std::size_t blocks = 1) {
  Bytes block(512 * blocks, 0);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (int b = 0; b < 6; ++b)
      block[i * 8 + b] = static_cast<std::uint8_t>(entries[i].first >> (8 * b));
    block[i * 8 + 6] = static_cast<std::uint8_t>(entries[i].second);
    block[i * 8 + 7] = static_cast<std::uint8_t>(entries[i].second >> 8);
  }
  return block;
}

struct TrimCase {
  const char* name;
  TestDriveSpec wanted;
  const char* description;
  std::uint8_t features;
  std::uint8_t count;
  std::vector<std::pair<std::uint64_t, std::uint16_t>> entries;
  std::size_t blocks;
  bool accepted;
  std::vector<TrimRange> recorded;
};

class SimulatedDiskTrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(SimulatedDiskTrimTest, ValidatesEntriesAgainstTheCapacity) {
  const TrimCase& c = GetParam();
  auto disk = MakeDisk(c.wanted, c.description);
  Bytes keep(512, 0x77);
  ASSERT_TRUE(IsGood(Send(*disk, Lba28(kAtaWriteSectors, 50, 1), AtaProtocol::kPioDataOut, &keep)));
  Bytes block = TrimBlock(c.entries, c.blocks);
  const AtaResult result =
      Send(*disk, TaskFile{c.features, c.count, 0, 0, 0, 0xE0, 0x06}, AtaProtocol::kDmaOut, &block);
  EXPECT_EQ(IsGood(result), c.accepted);
  EXPECT_EQ(IsAbort(result), !c.accepted);
  EXPECT_EQ(disk->TrimmedRanges(), c.recorded);
  const bool sector50Trimmed = std::any_of(c.recorded.begin(), c.recorded.end(), [](auto r) {
    return r.firstLba <= 50 && 50 < r.firstLba + r.sectorCount;
  });
  EXPECT_EQ(disk->StoredSector(50)[0], sector50Trimmed ? 0 : 0x77);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SimulatedDiskTrimTest,
    ::testing::Values(
        TrimCase{"WholeSmallDisk", {.sectors = 100}, "", 1, 1, {{0, 100}}, 1, true, {{0, 100}}},
        TrimCase{"EndsOnTheBoundary",
                 {.sectors = 65535},
                 "",
                 1,
                 1,
                 {{0, 65535}, {65535, 0}},
                 1,
                 true,
                 {{0, 65535}}},
        TrimCase{"PastTheEnd", {.sectors = 100}, "", 1, 1, {{0, 50}, {50, 51}}, 1, false, {}},
        TrimCase{"StartsPastTheEnd", {.sectors = 100}, "", 1, 1, {{200, 1}}, 1, false, {}},
        TrimCase{"SecondBlock",
                 {.sectors = 1000},
                 "",
                 1,
                 2,
                 {{0, 10}, {500, 10}},
                 2,
                 true,
                 {{0, 10}, {500, 10}}},
        TrimCase{"CountDoesNotMatchData", {.sectors = 1000}, "", 1, 2, {{0, 10}}, 1, false, {}},
        TrimCase{"NotTrim", {.sectors = 1000}, "", 0, 1, {{0, 10}}, 1, false, {}},
        TrimCase{
            "Unsupported", {.sectors = 1000, .trim = false}, "", 1, 1, {{0, 10}}, 1, false, {}},
        TrimCase{
            "SwitchedOff", {.sectors = 1000}, "trim_supported=0", 1, 1, {{0, 10}}, 1, false, {}}),
    [](const ::testing::TestParamInfo<TrimCase>& info) { return std::string(info.param.name); });

// ---- security ----

Bytes PasswordBlock(const std::string& password, bool master = false) {
  Bytes block(512, 0);
  block[0] = master ? 1 : 0;
  std::copy(password.begin(), password.end(), block.begin() + 2);
  return block;
}

AtaResult Security(SimulatedDisk& disk, std::uint8_t command, const std::string& password,
                   bool master = false) {
  if (command == kAtaSecurityErasePrepare || command == kAtaSecurityFreezeLock) {
    return SendNoData(disk, TaskFile{0, 0, 0, 0, 0, 0xE0, command});
  }
  Bytes block = PasswordBlock(password, master);
  return Send(disk, TaskFile{0, 1, 0, 0, 0, 0xE0, command}, AtaProtocol::kPioDataOut, &block);
}

struct SecurityStep {
  std::uint8_t command;
  const char* password;
  bool ok;
};

struct SecurityCase {
  const char* name;
  const char* description;
  std::vector<SecurityStep> steps;
  bool enabled, locked, frozen;
  int erases;
};

class SimulatedDiskSecurityTest : public ::testing::TestWithParam<SecurityCase> {};

TEST_P(SimulatedDiskSecurityTest, FollowsTheSecurityStates) {
  const SecurityCase& c = GetParam();
  auto disk = MakeDisk({}, c.description);
  ASSERT_NE(disk, nullptr);
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    const SecurityStep& step = c.steps[i];
    const AtaResult result = step.command == kAtaReadSectors
                                 ? [&] {
                                     Bytes s(512);
                                     return Send(*disk, Lba28(kAtaReadSectors, 0, 1), kIn, &s);
                                   }()
                                 : Security(*disk, step.command, step.password);
    EXPECT_EQ(IsGood(result), step.ok) << "step " << i;
    EXPECT_EQ(IsAbort(result), !step.ok) << "step " << i;
  }
  const SimulatedSecurity security = disk->security();
  EXPECT_EQ(security.enabled, c.enabled);
  EXPECT_EQ(security.locked, c.locked);
  EXPECT_EQ(security.frozen, c.frozen);
  EXPECT_EQ(security.erasesDone, c.erases);
}

constexpr std::uint8_t kSet = kAtaSecuritySetPassword;
constexpr std::uint8_t kPrepare = kAtaSecurityErasePrepare;
constexpr std::uint8_t kErase = kAtaSecurityEraseUnit;
constexpr std::uint8_t kUnlock = kAtaSecurityUnlock;
constexpr std::uint8_t kFreeze = kAtaSecurityFreezeLock;
constexpr std::uint8_t kDisable = kAtaSecurityDisablePassword;
constexpr std::uint8_t kRead = kAtaReadSectors;

INSTANTIATE_TEST_SUITE_P(
    States, SimulatedDiskSecurityTest,
    ::testing::Values(
        SecurityCase{"SetPrepareErase",
                     "",
                     {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abc", true}},
                     false,
                     false,
                     false,
                     1},
        SecurityCase{"EraseWithoutPrepare",
                     "",
                     {{kSet, "abc", true}, {kErase, "abc", false}},
                     true,
                     false,
                     false,
                     0},
        SecurityCase{
            "PrepareThenOtherCommand",
            "",
            {{kSet, "abc", true}, {kPrepare, "", true}, {kRead, "", true}, {kErase, "abc", false}},
            true,
            false,
            false,
            0},
        SecurityCase{"EraseWithoutPassword",
                     "",
                     {{kPrepare, "", true}, {kErase, "", false}},
                     false,
                     false,
                     false,
                     0},
        SecurityCase{"WrongPassword",
                     "",
                     {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abd", false}},
                     true,
                     false,
                     false,
                     0},
        SecurityCase{"FrozenRefusesAll",
                     "security_state=frozen",
                     {{kSet, "abc", false}, {kPrepare, "", false}, {kErase, "abc", false}},
                     false,
                     false,
                     true,
                     0},
        SecurityCase{
            "FreezeLock", "", {{kFreeze, "", true}, {kSet, "abc", false}}, false, false, true, 0},
        SecurityCase{"LockedRefusesMedia",
                     "security_state=locked\nsecurity_user_password=pw",
                     {{kRead, "", false},
                      {kSet, "x", false},
                      {kUnlock, "no", false},
                      {kUnlock, "pw", true},
                      {kRead, "", true}},
                     true,
                     false,
                     false,
                     0},
        SecurityCase{"LockedDiskCanBeErased",
                     "security_state=locked\nsecurity_user_password=pw",
                     {{kPrepare, "", true}, {kErase, "pw", true}, {kRead, "", true}},
                     false,
                     false,
                     false,
                     1},
        SecurityCase{"DisablePassword",
                     "security_state=enabled\nsecurity_user_password=pw",
                     {{kDisable, "pw", true}, {kPrepare, "", true}, {kErase, "pw", false}},
                     false,
                     false,
                     false,
                     0},
        SecurityCase{"FiveWrongPasswordsExpire",
                     "security_state=enabled\nsecurity_user_password=pw",
                     {{kUnlock, "1", false},
                      {kUnlock, "2", false},
                      {kUnlock, "3", false},
                      {kUnlock, "4", false},
                      {kUnlock, "5", false},
                      {kPrepare, "", true},
                      {kErase, "pw", false}},
                     true,
                     false,
                     false,
                     0}),
    [](const ::testing::TestParamInfo<SecurityCase>& info) {
      return std::string(info.param.name);
    });

TEST(SimulatedDiskSecurity, EraseWipesDataAndIdentifyShowsTheState) {
  auto disk = MakeDisk({});
  Bytes data(512, 0x33);
  Send(*disk, Lba28(kAtaWriteSectors, 7, 1), AtaProtocol::kPioDataOut, &data);
  Bytes identify(512);
  ASSERT_TRUE(IsGood(Security(*disk, kSet, "abc")));
  Send(*disk, kIdentify, kIn, &identify);
  EXPECT_EQ(GetWord(identify.data(), 128) & 0x001F, 0x0003);  // supported, enabled
  std::uint8_t sum = 0;
  for (std::uint8_t b : identify)
    sum = static_cast<std::uint8_t>(sum + b);
  EXPECT_EQ(sum, 0) << "integrity word must still balance";
  // The master password erases too.
  ASSERT_TRUE(IsGood(Security(*disk, kSet, "master", true)));
  ASSERT_TRUE(IsGood(Security(*disk, kPrepare, "")));
  ASSERT_TRUE(IsGood(Security(*disk, kErase, "master", true)));
  EXPECT_EQ(disk->StoredSectorCount(), 0u);
  Send(*disk, kIdentify, kIn, &identify);
  EXPECT_EQ(GetWord(identify.data(), 128) & 0x001F, 0x0001);
}

// ---- faults, handles, threads ----

TEST(SimulatedDiskFaults, OpenFailsNTimesAndStateOutlivesHandles) {
  auto disk = MakeDisk({}, "fault_open_failures=2");
  std::string message;
  EXPECT_EQ(disk->OpenHandle(&message), nullptr);
  EXPECT_NE(message.find("busy"), std::string::npos);
  EXPECT_EQ(disk->OpenHandle(&message), nullptr);
  auto first = disk->OpenHandle(&message);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->SmartDriverCommand(TaskFile{0xD9, 1, 1, 0, 0, 0xA0, 0xB0}, {}).transportOk);
  first.reset();
  auto second = disk->OpenHandle(&message);
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(disk->smartEnabled());
}

TEST(SimulatedDiskFaults, RefusedPassThroughLeavesTheDriverPath) {
  auto disk = MakeDisk({}, "fault_refuse_pass_through=1");
  EXPECT_FALSE(disk->PassThroughAvailable());
  Bytes sector(512);
  const AtaResult passThrough = Send(*disk, kSmartReadData, kIn, &sector);
  EXPECT_FALSE(passThrough.transportOk);
  EXPECT_EQ(passThrough.osError, EOPNOTSUPP);
  EXPECT_NE(passThrough.osErrorText.find("refused"), std::string::npos);
  EXPECT_TRUE(disk->SmartDriverCommand(TaskFile{0xD0, 1, 1, 0, 0, 0xA0, 0xB0}, sector).transportOk);

  auto noDriver = MakeDisk({}, "fault_refuse_smart_driver=1");
  const AtaResult driver =
      noDriver->SmartDriverCommand(TaskFile{0xD0, 1, 1, 0, 0, 0xA0, 0xB0}, sector);
  EXPECT_FALSE(driver.transportOk);
  EXPECT_EQ(driver.osError, ENOTTY);
  EXPECT_TRUE(IsGood(Send(*noDriver, kSmartReadData, kIn, &sector)));
}

TEST(SimulatedDiskFaults, SlowCommandsTimeOutOnlyWhenTheTimeOutIsShorter) {
  auto disk = MakeDisk({}, "fault_slow_commands=F3\nfault_slow_ms=30");
  const AtaResult late = Send(*disk, TaskFile{0, 0, 0, 0, 0, 0xE0, 0xF3}, kNone, nullptr, 5);
  EXPECT_FALSE(late.transportOk);
  EXPECT_EQ(late.osError, ETIMEDOUT);
  EXPECT_NE(late.osErrorText.find("timed out after 5 ms"), std::string::npos);
  EXPECT_FALSE(disk->security().erasePrepared);
  const AtaResult patient = Send(*disk, TaskFile{0, 0, 0, 0, 0, 0xE0, 0xF3}, kNone, nullptr, 100);
  EXPECT_TRUE(IsGood(patient));
}

TEST(SimulatedDiskFaults, ShortTransferIsATransportFailure) {
  auto disk = MakeDisk({}, "fault_short_transfer_commands=EC");
  Bytes sector(512);
  const AtaResult result = Send(*disk, kIdentify, kIn, &sector);
  EXPECT_FALSE(result.transportOk);
  EXPECT_EQ(result.osError, EIO);
  EXPECT_EQ(result.transferred, 256u);
  EXPECT_NE(result.osErrorText.find("moved 256 of 512"), std::string::npos);
}

TEST(SimulatedDiskThreads, HandlesOnManyThreadsSeeWholeCommands) {
  auto disk = MakeDisk({.sectors = 1000});
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::string message;
      auto handle = disk->OpenHandle(&message);
      for (int i = 0; i < 200; ++i) {
        Bytes out(512, static_cast<std::uint8_t>(t * 50 + i % 50));
        Bytes in(512);
        AtaCommand write;
        write.registers = Lba28(kAtaWriteSectors, static_cast<std::uint32_t>(t), 1);
        write.protocol = AtaProtocol::kPioDataOut;
        write.data = out;
        auto exclusive = handle->HoldExclusive();
        handle->Execute(write);
        AtaCommand read = write;
        read.registers.command = kAtaReadSectors;
        read.protocol = AtaProtocol::kPioDataIn;
        read.data = in;
        handle->Execute(read);
        if (in != out)
          ++mismatches[t];
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
  EXPECT_EQ(disk->CommandLog().size(), 1600u);
}

}  // namespace
}  // namespace ds
