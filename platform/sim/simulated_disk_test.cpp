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
using Bytes = std::vector<std::uint8_t>;

constexpr AtaProtocol kIn = AtaProtocol::kPioDataIn;
constexpr AtaProtocol kOut = AtaProtocol::kPioDataOut;
constexpr AtaProtocol kNone = AtaProtocol::kNonData;
constexpr TaskFile kSmartReadData{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
constexpr TaskFile kSmartReadThresholds{0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0};
constexpr TaskFile kSmartDriverRead{0xD0, 1, 1, 0, 0, 0xA0, 0xB0};
constexpr TaskFile kIdentify{0, 1, 0, 0, 0, 0xA0, 0xEC};

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
  return Send(disk, registers, kNone, nullptr);
}

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
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

std::uint64_t HdparmCount(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  return at == std::string::npos ? 0 : std::stoull(text.substr(text.find(':', at) + 1));
}

TEST(SimulatedDiskRealDrives, AnswersWithTheDumpsAndTheirFacts) {
  std::vector<std::string> folders;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(DS_TESTDATA_DIR) + "/real-drives")) {
    if (entry.is_directory())
      folders.push_back(entry.path().string());
  }
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
    const std::pair<TaskFile, const char*> reads[] = {{kIdentify, "/identify.bin"},
                                                      {kSmartReadData, "/smart.bin"},
                                                      {kSmartReadThresholds, "/thresholds.bin"}};
    for (const auto& [registers, file] : reads) {
      Bytes sector(512, 0xCC);
      EXPECT_TRUE(IsGood(Send(*disk, registers, kIn, &sector)));
      EXPECT_EQ(std::string(sector.begin(), sector.end()), ReadText(folder + file)) << file;
    }
    // TRIM of the first sector works exactly on the disks hdparm says support it.
    Bytes block(512, 0);
    block[6] = 1;
    const AtaResult trim =
        Send(*disk, TaskFile{1, 1, 0, 0, 0, 0xE0, 0x06}, AtaProtocol::kDmaOut, &block);
    EXPECT_EQ(IsGood(trim), hdparm.find("TRIM supported") != std::string::npos);
  }
}

TEST(SimulatedDiskLoad, BadInputFailsWithAMessage) {
  struct Case {
    const char* file;  // to write ("" for none, "-identify.bin" to remove it)
    std::size_t size;
    const char* description;
    const char* messagePart;
  };
  // clang-format off
  const Case cases[] = {
      {"-identify.bin", 0, "", "identify.bin"},
      {"smart.bin", 300, "", "smart.bin holds 300 bytes"},
      {"identify.bin", 0, "", "identify.bin holds 0 bytes"},
      {"thresholds.bin", 1024, "", "thresholds.bin"},
      {"vendor_page_1.bin", 100, "", "whole 512-byte sectors"},
      {"vendor_page_256.bin", 512, "", "0-255"},
      {"", 0, "sectors=abc\n", "sectors=abc"},
      {"", 0, "sectors=99999999999999999999\n", "sectors="},
      {"", 0, "smart_enabled=maybe\n", "expected 0 or 1"},
      {"", 0, "security_state=purple\n", "purple"},
      {"", 0, "fault_open_failures=5000\n", "up to 1000"},
      {"", 0, "fault_abort_commands=0xZZ\n", "0xZZ"},
      {"", 0, "fault_abort_commands=0x1B0\n", "0x1B0"},
      {"", 0, "security_user_password=0123456789012345678901234567890123\n", "at most 32"},
      {"", 0, "fault_slow_ms=999999999\n", "fault_slow_ms"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + c.description);
    TempFolder folder;
    testing::WriteDriveFolder(folder.path(), MakeImage({}), c.description);
    if (std::string(c.file) == "-identify.bin") {
      std::filesystem::remove(folder.path() + "identify.bin");
    } else if (*c.file) {
      testing::WriteFile(folder.path() + c.file, std::string(c.size, '\x11'));
    }
    std::string message;
    EXPECT_EQ(SimulatedDisk::Load(folder.path(), &message), nullptr);
    EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
  }
}

TEST(SimulatedDiskLoad, IgnoresKeysItDoesNotKnowAndReadsItsOwn) {
  TempFolder folder;
  testing::WriteDriveFolder(
      folder.path(), MakeImage({}),
      "bus_type=11\nvolumes=/mnt/a\nsectors=4096\nfault_abort_commands= b0:d1 , F4\n");
  testing::WriteFile(folder.path() + "vendor_page_3.bin", std::string(1024, 'Z'));
  std::string message;
  auto disk = SimulatedDisk::Load(folder.path(), &message);
  ASSERT_NE(disk, nullptr) << message;
  EXPECT_EQ(disk->capacity(), 4096u);
  Bytes sector(512);
  EXPECT_TRUE(IsAbort(Send(*disk, kSmartReadThresholds, kIn, &sector)));
  EXPECT_TRUE(IsGood(Send(*disk, kSmartReadData, kIn, &sector)));
}

TEST(SimulatedDiskCommands, AnswerAsADiskDoes) {
  struct Case {
    const char* name;
    TestDriveSpec wanted;
    const char* description;
    TaskFile registers;
    AtaProtocol protocol;
    std::uint8_t status, error, lbaMid, lbaHigh;  // returned
  };
  const TaskFile kReturnStatus{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0};
  // clang-format off
  const Case cases[] = {
      {"read data", {}, "", kSmartReadData, kIn, 0x50, 0, 0x4F, 0xC2},
      {"no signature", {}, "", {0xD0, 1, 0, 0, 0, 0xA0, 0xB0}, kIn, 0x51, 0x04, 0, 0},
      {"disabled", {}, "smart_enabled=0", kSmartReadData, kIn, 0x51, 0x04, 0x4F, 0xC2},
      {"thresholds while disabled", {}, "smart_enabled=0", kSmartReadThresholds, kIn, 0x50, 0, 0x4F, 0xC2},
      {"not supported", {.smart = false}, "", kSmartReadData, kIn, 0x51, 0x04, 0x4F, 0xC2},
      {"read data as non-data", {}, "", kSmartReadData, kNone, 0x51, 0x04, 0x4F, 0xC2},
      {"return status healthy", {}, "", kReturnStatus, kNone, 0x50, 0, 0x4F, 0xC2},
      {"identify", {}, "", kIdentify, kIn, 0x50, 0, 0, 0},
      {"packet identify on an ATA disk", {}, "", {0, 1, 0, 0, 0, 0xA0, 0xA1}, kIn, 0x51, 0x04, 0, 0},
      {"unknown command", {}, "", {0, 0, 0, 0, 0, 0xE0, 0x99}, kNone, 0x51, 0x04, 0, 0},
      {"fault status DRQ", {}, "fault_status_commands=B0:D0", kSmartReadData, kIn, 0x58, 0, 0x4F, 0xC2},
      {"fault abort one feature", {}, "fault_abort_commands=0xB0:0xD0", kSmartReadData, kIn, 0x51, 0x04, 0x4F, 0xC2},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = MakeDisk(c.wanted, c.description);
    ASSERT_NE(disk, nullptr);
    Bytes data(c.protocol == kIn ? 512 : 0);
    const AtaResult result = Send(*disk, c.registers, c.protocol, data.empty() ? nullptr : &data);
    ASSERT_TRUE(result.transportOk) << result.osErrorText;
    EXPECT_EQ(result.registers.status(), c.status);
    EXPECT_EQ(result.registers.error(), c.error);
    EXPECT_EQ(result.registers.cylinderLow, c.lbaMid);
    EXPECT_EQ(result.registers.cylinderHigh, c.lbaHigh);
  }
}

TEST(SimulatedDiskSmart, EnableDisableAndReturnStatusFollowTheData) {
  SimulatedDiskImage image = MakeImage({});
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
  AtaResult read = disk->SmartDriverCommand(kSmartDriverRead, sector);
  EXPECT_FALSE(read.transportOk);
  EXPECT_EQ(read.osError, EIO);
  EXPECT_TRUE(disk->SmartDriverCommand(TaskFile{0xD8, 1, 1, 0, 0, 0xA0, 0xB0}, {}).transportOk);
  read = disk->SmartDriverCommand(kSmartDriverRead, sector);
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

TEST(SimulatedDiskSectors, WritesReadBackAndStaySparse) {
  auto disk = MakeDisk({.sectors = 2000});
  Bytes two(1024);
  for (std::size_t i = 0; i < two.size(); ++i)
    two[i] = static_cast<std::uint8_t>(i * 7 + 1);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaWriteSectors, 1998, 2), kOut, &two)));
  EXPECT_EQ(disk->StoredSectorCount(), 2u);
  Bytes back(1024, 0xFF);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaReadDma, 1998, 2), AtaProtocol::kDmaIn, &back)));
  EXPECT_EQ(back, two);
  Bytes never(512, 0xFF);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaReadSectors, 5, 1), kIn, &never)));
  EXPECT_EQ(never, Bytes(512, 0));
  Bytes zeros(512, 0);
  EXPECT_TRUE(IsGood(Send(*disk, Lba28(kAtaWriteSectors, 1998, 1), kOut, &zeros)));
  EXPECT_EQ(disk->StoredSectorCount(), 1u);
}

TEST(SimulatedDiskSectors, ChecksAddressCountAndProtocol) {
  struct Case {
    const char* name;
    TaskFile registers;
    std::size_t dataBytes;
    std::uint8_t status, error;
  };
  // clang-format off
  const Case cases[] = {
      {"last sector", Lba28(0x20, 1999, 1), 512, 0x50, 0},
      {"past the end", Lba28(0x20, 2000, 1), 512, 0x51, kAtaErrorIdnf},
      {"count 0 means 256", Lba28(0x20, 0, 0), 256 * 512, 0x50, 0},
      {"count 0 with one sector", Lba28(0x20, 0, 0), 512, 0x51, kAtaErrorAbrt},
      {"high nibble in device", Lba28(0x20, 0x1000000, 1), 512, 0x51, kAtaErrorIdnf},
      {"CHS addressing", {0, 1, 1, 0, 0, 0xA0, 0x20}, 512, 0x51, kAtaErrorAbrt},
      {"READ DMA sent as PIO", Lba28(0xC8, 0, 1), 512, 0x51, kAtaErrorAbrt},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = MakeDisk({.sectors = 2000});
    Bytes data(c.dataBytes);
    const AtaResult result = Send(*disk, c.registers, kIn, &data);
    ASSERT_TRUE(result.transportOk);
    EXPECT_EQ(result.registers.status(), c.status);
    EXPECT_EQ(result.registers.error(), c.error);
  }
}

TEST(SimulatedDiskSectors, ExtendedCommandsAddress48Bits) {
  auto disk = MakeDisk({.sectors = 0x200000000ull});
  AtaCommand write;
  write.registers = TaskFile{0, 1, 0x01, 0, 0, 0x40, kAtaWriteSectorsExt};
  write.previousRegisters = TaskFile{0, 0, 0, 0x01, 0, 0, 0};  // LBA 0x1_0000_0001
  write.extended = true;
  write.protocol = kOut;
  Bytes data(512, 0x42);
  write.data = data;
  EXPECT_TRUE(IsGood(disk->Execute(write)));
  EXPECT_EQ(disk->StoredSector(0x100000001ull)[0], 0x42);
  EXPECT_EQ(disk->StoredSector(1)[0], 0);
}

// ---- vendor key sequence ----

constexpr std::uint16_t kKeys[] = {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA};

TaskFile KeyRegisters(std::uint8_t command, std::uint16_t key, std::uint8_t count = 1) {
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

// Sends the key reads in order; returns the result of the last one.
AtaResult RunKeys(SimulatedDisk& disk, const std::vector<std::uint16_t>& keys) {
  AtaResult last;
  for (std::uint16_t key : keys) {
    Bytes sector(512);
    last = Send(disk, KeyRegisters(kAtaReadSectors, key), kIn, &sector);
  }
  return last;
}

AtaResult WriteSelector(SimulatedDisk& disk, Bytes selector) {
  return Send(disk, KeyRegisters(kAtaWriteSectors, 0x55AA), kOut, &selector);
}

TEST(SimulatedDiskVendor, FiveKeysSelectorAndReadReturnThePage) {
  for (const std::uint8_t count : {1, 2}) {
    SCOPED_TRACE(count);
    auto disk = VendorDisk();
    EXPECT_TRUE(IsGood(RunKeys(*disk, {kKeys, kKeys + 5})));
    EXPECT_TRUE(IsGood(WriteSelector(*disk, Selector(1))));
    EXPECT_EQ(disk->StoredSectorCount(), 0u);  // the selector is not stored
    const std::uint8_t command = count == 1 ? kAtaReadSectors : kAtaReadDma;
    Bytes page(count * 512, 0xFF);
    EXPECT_TRUE(IsGood(Send(*disk, KeyRegisters(command, 0x55AA, count),
                            count == 1 ? kIn : AtaProtocol::kDmaIn, &page)));
    for (std::size_t i = 0; i < page.size(); ++i)
      ASSERT_EQ(page[i], i % 251) << i;
    // The page is returned once; the same address then reads the ordinary sector.
    Bytes again(512, 0xFF);
    Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA), kIn, &again);
    EXPECT_EQ(again, Bytes(512, 0));
  }
}

TEST(SimulatedDiskVendor, AnyOtherOrderLeavesTheSelectorAnOrdinaryWrite) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> keys;
    bool smartReadAfterThirdKey;
  };
  const Case cases[] = {
      {"third key skipped", {0x00AA, 0xAA00, 0x5500, 0x55AA}, false},
      {"two keys swapped", {0x00AA, 0x0055, 0xAA00, 0x5500, 0x55AA}, false},
      {"only four keys", {0x00AA, 0xAA00, 0x0055, 0x5500}, false},
      {"interrupted by a SMART read", {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = VendorDisk();
    for (std::size_t i = 0; i < c.keys.size(); ++i) {
      RunKeys(*disk, {c.keys[i]});
      if (c.smartReadAfterThirdKey && i == 2) {
        Bytes sector(512);
        Send(*disk, kSmartReadData, kIn, &sector);
      }
    }
    EXPECT_TRUE(IsGood(WriteSelector(*disk, Selector(1))));
    Bytes read(512);
    EXPECT_TRUE(IsGood(Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA), kIn, &read)));
    EXPECT_EQ(read, Selector(1));  // the written sector, not the vendor page
  }
}

TEST(SimulatedDiskVendor, BadSelectorsAbortAndReset) {
  Bytes wrongMagic = Selector(1);
  wrongMagic[0] = 0xF1;
  for (const Bytes& selector : {wrongMagic, Selector(9)}) {
    auto disk = VendorDisk();
    RunKeys(*disk, {kKeys, kKeys + 5});
    EXPECT_TRUE(IsAbort(WriteSelector(*disk, selector)));
    Bytes read(512, 0xFF);
    Send(*disk, KeyRegisters(kAtaReadSectors, 0x55AA), kIn, &read);
    EXPECT_EQ(read, Bytes(512, 0));
  }
  // Disks without the controller signature take the keys as ordinary reads.
  auto disk = MakeDisk({});
  RunKeys(*disk, {kKeys, kKeys + 5});
  WriteSelector(*disk, Selector(1));
  EXPECT_EQ(disk->StoredSectorCount(), 1u);
}

TEST(SimulatedDiskTrim, ValidatesEntriesAgainstTheCapacity) {
  using Entries = std::vector<std::pair<std::uint64_t, std::uint16_t>>;
  struct Case {
    const char* name;
    TestDriveSpec wanted;
    const char* description;
    std::uint8_t features, count;
    Entries entries;
    std::size_t blocks;
    std::vector<TrimRange> recorded;  // none when refused
  };
  // clang-format off
  const Case cases[] = {
      {"whole small disk", {.sectors = 100}, "", 1, 1, {{0, 100}}, 1, {{0, 100}}},
      {"ends on the boundary", {.sectors = 65535}, "", 1, 1, {{0, 65535}, {65535, 0}}, 1, {{0, 65535}}},
      {"past the end", {.sectors = 100}, "", 1, 1, {{0, 50}, {50, 51}}, 1, {}},
      {"starts past the end", {.sectors = 100}, "", 1, 1, {{200, 1}}, 1, {}},
      {"second block", {.sectors = 1000}, "", 1, 2, {{0, 10}, {500, 10}}, 2, {{0, 10}, {500, 10}}},
      {"count does not match the data", {.sectors = 1000}, "", 1, 2, {{0, 10}}, 1, {}},
      {"not TRIM", {.sectors = 1000}, "", 0, 1, {{0, 10}}, 1, {}},
      {"unsupported", {.sectors = 1000, .trim = false}, "", 1, 1, {{0, 10}}, 1, {}},
      {"switched off", {.sectors = 1000}, "trim_supported=0", 1, 1, {{0, 10}}, 1, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = MakeDisk(c.wanted, c.description);
    Bytes keep(512, 0x77);
    ASSERT_TRUE(IsGood(Send(*disk, Lba28(kAtaWriteSectors, 50, 1), kOut, &keep)));
    Bytes block(512 * c.blocks, 0);
    for (std::size_t i = 0; i < c.entries.size(); ++i) {
      for (int b = 0; b < 6; ++b)
        block[i * 8 + b] = static_cast<std::uint8_t>(c.entries[i].first >> (8 * b));
      block[i * 8 + 6] = static_cast<std::uint8_t>(c.entries[i].second);
      block[i * 8 + 7] = static_cast<std::uint8_t>(c.entries[i].second >> 8);
    }
    const AtaResult result = Send(*disk, TaskFile{c.features, c.count, 0, 0, 0, 0xE0, 0x06},
                                  AtaProtocol::kDmaOut, &block);
    EXPECT_EQ(IsGood(result), !c.recorded.empty());
    EXPECT_EQ(IsAbort(result), c.recorded.empty());
    EXPECT_EQ(disk->TrimmedRanges(), c.recorded);
    const bool sector50Trimmed = std::any_of(c.recorded.begin(), c.recorded.end(), [](auto r) {
      return r.firstLba <= 50 && 50 < r.firstLba + r.sectorCount;
    });
    EXPECT_EQ(disk->StoredSector(50)[0], sector50Trimmed ? 0 : 0x77);
  }
}

// ---- security ----

AtaResult Security(SimulatedDisk& disk, std::uint8_t command, const std::string& password,
                   bool master = false) {
  if (command == kAtaReadSectors) {
    Bytes sector(512);
    return Send(disk, Lba28(kAtaReadSectors, 0, 1), kIn, &sector);
  }
  if (command == kAtaSecurityErasePrepare || command == kAtaSecurityFreezeLock)
    return SendNoData(disk, TaskFile{0, 0, 0, 0, 0, 0xE0, command});
  Bytes block(512, 0);
  block[0] = master ? 1 : 0;
  std::copy(password.begin(), password.end(), block.begin() + 2);
  return Send(disk, TaskFile{0, 1, 0, 0, 0, 0xE0, command}, kOut, &block);
}

TEST(SimulatedDiskSecurity, FollowsTheSecurityStates) {
  struct Step {
    std::uint8_t command;
    const char* password;
    bool ok;
  };
  struct Case {
    const char* name;
    const char* description;
    std::vector<Step> steps;
    bool enabled, locked, frozen;
    int erases;
  };
  constexpr std::uint8_t kSet = kAtaSecuritySetPassword, kPrepare = kAtaSecurityErasePrepare,
                         kErase = kAtaSecurityEraseUnit, kUnlock = kAtaSecurityUnlock,
                         kFreeze = kAtaSecurityFreezeLock, kDisable = kAtaSecurityDisablePassword,
                         kRead = kAtaReadSectors;
  const char* kLocked = "security_state=locked\nsecurity_user_password=pw";
  const char* kEnabled = "security_state=enabled\nsecurity_user_password=pw";
  // clang-format off
  const Case cases[] = {
      {"set, prepare, erase", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abc", true}}, false, false, false, 1},
      {"erase without prepare", "", {{kSet, "abc", true}, {kErase, "abc", false}}, true, false, false, 0},
      {"prepare, then another command", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kRead, "", true}, {kErase, "abc", false}}, true, false, false, 0},
      {"erase without a password", "", {{kPrepare, "", true}, {kErase, "", false}}, false, false, false, 0},
      {"wrong password", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abd", false}}, true, false, false, 0},
      {"frozen refuses all", "security_state=frozen", {{kSet, "abc", false}, {kPrepare, "", false}, {kErase, "abc", false}}, false, false, true, 0},
      {"freeze lock", "", {{kFreeze, "", true}, {kSet, "abc", false}}, false, false, true, 0},
      {"locked refuses media", kLocked, {{kRead, "", false}, {kSet, "x", false}, {kUnlock, "no", false}, {kUnlock, "pw", true}, {kRead, "", true}}, true, false, false, 0},
      {"locked disk can be erased", kLocked, {{kPrepare, "", true}, {kErase, "pw", true}, {kRead, "", true}}, false, false, false, 1},
      {"disable password", kEnabled, {{kDisable, "pw", true}, {kPrepare, "", true}, {kErase, "pw", false}}, false, false, false, 0},
      {"five wrong passwords expire", kEnabled, {{kUnlock, "1", false}, {kUnlock, "2", false}, {kUnlock, "3", false}, {kUnlock, "4", false}, {kUnlock, "5", false}, {kPrepare, "", true}, {kErase, "pw", false}}, true, false, false, 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto disk = MakeDisk({}, c.description);
    ASSERT_NE(disk, nullptr);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const AtaResult result = Security(*disk, c.steps[i].command, c.steps[i].password);
      EXPECT_EQ(IsGood(result), c.steps[i].ok) << "step " << i;
      EXPECT_EQ(IsAbort(result), !c.steps[i].ok) << "step " << i;
    }
    const SimulatedSecurity security = disk->security();
    EXPECT_EQ(security.enabled, c.enabled);
    EXPECT_EQ(security.locked, c.locked);
    EXPECT_EQ(security.frozen, c.frozen);
    EXPECT_EQ(security.erasesDone, c.erases);
  }
}

TEST(SimulatedDiskSecurity, EraseWipesDataAndIdentifyShowsTheState) {
  auto disk = MakeDisk({});
  Bytes data(512, 0x33);
  Send(*disk, Lba28(kAtaWriteSectors, 7, 1), kOut, &data);
  Bytes identify(512);
  ASSERT_TRUE(IsGood(Security(*disk, kAtaSecuritySetPassword, "abc")));
  Send(*disk, kIdentify, kIn, &identify);
  EXPECT_EQ(GetWord(identify.data(), 128) & 0x001F, 0x0003);  // supported, enabled
  std::uint8_t sum = 0;
  for (std::uint8_t b : identify)
    sum = static_cast<std::uint8_t>(sum + b);
  EXPECT_EQ(sum, 0) << "integrity word must still balance";
  // The master password erases too.
  ASSERT_TRUE(IsGood(Security(*disk, kAtaSecuritySetPassword, "master", true)));
  ASSERT_TRUE(IsGood(Security(*disk, kAtaSecurityErasePrepare, "")));
  ASSERT_TRUE(IsGood(Security(*disk, kAtaSecurityEraseUnit, "master", true)));
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
  EXPECT_NE(disk->OpenHandle(&message), nullptr);
  EXPECT_FALSE(disk->smartEnabled());
}

TEST(SimulatedDiskFaults, RefusedPathsAndSlowAndShortCommands) {
  Bytes sector(512);
  auto disk = MakeDisk({}, "fault_refuse_pass_through=1");
  EXPECT_FALSE(disk->PassThroughAvailable());
  const AtaResult passThrough = Send(*disk, kSmartReadData, kIn, &sector);
  EXPECT_FALSE(passThrough.transportOk);
  EXPECT_EQ(passThrough.osError, EOPNOTSUPP);
  EXPECT_NE(passThrough.osErrorText.find("refused"), std::string::npos);
  EXPECT_TRUE(disk->SmartDriverCommand(kSmartDriverRead, sector).transportOk);

  auto noDriver = MakeDisk({}, "fault_refuse_smart_driver=1");
  const AtaResult driver = noDriver->SmartDriverCommand(kSmartDriverRead, sector);
  EXPECT_FALSE(driver.transportOk);
  EXPECT_EQ(driver.osError, ENOTTY);
  EXPECT_TRUE(IsGood(Send(*noDriver, kSmartReadData, kIn, &sector)));

  // A slow command times out only when the time-out is shorter.
  auto slow = MakeDisk({}, "fault_slow_commands=F3\nfault_slow_ms=30");
  const AtaResult late = Send(*slow, TaskFile{0, 0, 0, 0, 0, 0xE0, 0xF3}, kNone, nullptr, 5);
  EXPECT_FALSE(late.transportOk);
  EXPECT_EQ(late.osError, ETIMEDOUT);
  EXPECT_NE(late.osErrorText.find("timed out after 5 ms"), std::string::npos);
  EXPECT_FALSE(slow->security().erasePrepared);
  EXPECT_TRUE(IsGood(Send(*slow, TaskFile{0, 0, 0, 0, 0, 0xE0, 0xF3}, kNone, nullptr, 100)));

  auto shortened = MakeDisk({}, "fault_short_transfer_commands=EC");
  const AtaResult result = Send(*shortened, kIdentify, kIn, &sector);
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
        write.protocol = kOut;
        write.data = out;
        auto exclusive = handle->HoldExclusive();
        handle->Execute(write);
        AtaCommand read = write;
        read.registers.command = kAtaReadSectors;
        read.protocol = kIn;
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
