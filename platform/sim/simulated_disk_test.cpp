#include "platform/sim/simulated_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <numeric>

#include "platform/sim/sim_test_drive.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

using testing::MakeDisk;
using testing::MakeImage;
using testing::TestDriveSpec;
using Bytes = std::vector<std::uint8_t>;

constexpr AtaProtocol kIn = AtaProtocol::kPioDataIn, kOut = AtaProtocol::kPioDataOut,
                      kNone = AtaProtocol::kNonData, kDmaIn = AtaProtocol::kDmaIn;
constexpr TaskFile kSmartReadData{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
constexpr TaskFile kSmartReadThresholds{0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0};
constexpr TaskFile kIdentify{0, 1, 0, 0, 0, 0xA0, 0xEC};
// Outcome(): status << 8 | error of a completed command, minus errno of a transport failure.
constexpr int kGood = 0x5000, kAbort = 0x5104;

int Outcome(const AtaResult& r) {
  return r.transportOk ? r.registers.status() << 8 | r.registers.error() : -r.osError;
}

AtaResult Send(SimulatedDisk& disk, TaskFile registers, AtaProtocol protocol, Bytes* data = nullptr,
               int timeoutMs = 10000) {
  const std::span<std::uint8_t> bytes = data ? std::span(*data) : std::span<std::uint8_t>();
  return disk.Execute({registers, {}, false, protocol, bytes, timeoutMs});
}

int Read(SimulatedDisk& disk, TaskFile registers, Bytes* into = nullptr) {
  Bytes sector(512);
  return Outcome(Send(disk, registers, kIn, into ? into : &sector));
}

TaskFile Lba28(std::uint8_t command, std::uint32_t lba, std::uint8_t count = 1) {
  const auto byte = [lba](int shift) { return static_cast<std::uint8_t>(lba >> shift); };
  return TaskFile{0, count, byte(0), byte(8), byte(16), std::uint8_t(0xE0 | byte(24)), command};
}

TEST(SimulatedDiskLoad, BadInputFailsWithAMessageAndUnknownKeysAreLeftAlone) {
  // File to write ("-identify.bin": remove it), its size, description, message part ("": loads).
  // clang-format off
  const std::tuple<std::string, std::size_t, std::string, std::string> cases[] = {
      {"-identify.bin", 0, "", "identify.bin"},
      {"smart.bin", 300, "", "smart.bin holds 300 bytes"},
      {"vendor_page_1.bin", 100, "", "whole 512-byte sectors"},
      {"vendor_page_256.bin", 512, "", "0-255"},
      {"log-4.bin", 512, "", "two hex digits"},
      {"log-0x.bin", 512, "", "two hex digits"},
      {"log-04.bin", 100, "", "whole 512-byte pages"},
      {"log-a0.bin", 1024, "sectors=4096\nfault_abort_commands=b0:d1\n", ""},
      {"", 0, "sectors=abc\n", "sectors=abc"},
      {"", 0, "sectors=99999999999999999999\n", "sectors="},
      {"", 0, "smart_enabled=maybe\n", "expected 0 or 1"},
      {"", 0, "security_state=purple\n", "purple"},
      {"", 0, "fault_open_failures=5000\n", "up to 1000"},
      {"", 0, "fault_abort_commands=0xZZ\n", "0xZZ"},
      {"", 0, "fault_abort_commands=0x1B0\n", "0x1B0"},
      {"", 0, "security_user_password=0123456789012345678901234567890123\n", "at most 32"},
      {"", 0, "fault_slow_ms=999999999\n", "fault_slow_ms"},
      {"vendor_page_3.bin", 1024, "bus_type=11\nvolumes=/mnt/a\nsectors=4096\nfault_abort_commands= b0:d1 , F4\n", ""}};
  // clang-format on
  for (const auto& [file, size, description, messagePart] : cases) {
    SCOPED_TRACE(file + description);
    TempFolder folder;
    testing::WriteDriveFolder(folder.path(), MakeImage({}), description);
    if (file == "-identify.bin")
      std::filesystem::remove(folder.path() + "identify.bin");
    else if (!file.empty())
      testing::WriteFile(folder.path() + file, std::string(size, '\x11'));
    std::string message;
    auto disk = SimulatedDisk::Load(folder.path(), &message);
    EXPECT_NE(message.find(messagePart), std::string::npos) << message;
    ASSERT_EQ(disk == nullptr, !messagePart.empty());
    if (!disk)
      continue;
    EXPECT_EQ(std::tuple(disk->capacity(), Read(*disk, kSmartReadThresholds),
                         Read(*disk, kSmartReadData)),
              std::tuple(4096u, kAbort, kGood));
  }
}

TEST(SimulatedDiskCommands, AnswerAsADiskDoesAndFaultsAsDescribed) {
  // Name, disk, description, registers, protocol, outcome, LBA mid/high, error, driver, time-out.
  // clang-format off
  const std::tuple<const char*, TestDriveSpec, const char*, TaskFile, AtaProtocol, int, std::uint8_t,
                   std::uint8_t, const char*, bool, int> cases[] = {
      {"no signature", {}, "", {0xD0, 1, 0, 0, 0, 0xA0, 0xB0}, kIn, kAbort, 0, 0, "", false, 10000},
      {"disabled", {}, "smart_enabled=0", kSmartReadData, kIn, kAbort, 0x4F, 0xC2, "", false, 10000},
      {"thresholds while disabled", {}, "smart_enabled=0", kSmartReadThresholds, kIn, kGood, 0x4F, 0xC2, "", false, 10000},
      {"not supported", {.smart = false}, "", kSmartReadData, kIn, kAbort, 0x4F, 0xC2, "", false, 10000},
      {"read data as non-data", {}, "", kSmartReadData, kNone, kAbort, 0x4F, 0xC2, "", false, 10000},
      {"packet identify on an ATA disk", {}, "", {0, 1, 0, 0, 0, 0xA0, 0xA1}, kIn, kAbort, 0, 0, "", false, 10000},
      {"unknown command", {}, "", {0, 0, 0, 0, 0, 0xE0, 0x99}, kNone, kAbort, 0, 0, "", false, 10000},
      {"driver adds the signature", {}, "", {0xD0, 1, 1, 0, 0, 0xA0, 0xB0}, kIn, kGood, 0x4F, 0xC2, "", true, 10000},
      {"slow command within its time-out", {}, "fault_slow_commands=F3\nfault_slow_ms=30", {0, 0, 0, 0, 0, 0xE0, 0xF3}, kNone, kGood, 0, 0, "", false, 100},
      {"short transfer", {}, "fault_short_transfer_commands=EC", kIdentify, kIn, -EIO, 0, 0, "moved 256 of 512", false, 10000}};
  // clang-format on
  for (const auto& [name, wanted, description, registers, protocol, outcome, lbaMid, lbaHigh,
                    message, driver, timeoutMs] : cases) {
    SCOPED_TRACE(name);
    auto disk = MakeDisk(wanted, description);
    ASSERT_NE(disk, nullptr);
    Bytes data(protocol == kIn ? 512 : 0);
    const AtaResult result =
        driver ? disk->SmartDriverCommand(registers, data)
               : Send(*disk, registers, protocol, data.empty() ? nullptr : &data, timeoutMs);
    const std::size_t moved = outcome == kGood ? data.size() : *message == 'm' ? 256 : 0;
    EXPECT_EQ(std::tuple(Outcome(result), result.registers.cylinderLow,
                         result.registers.cylinderHigh, result.transferred),
              std::tuple(outcome, lbaMid, lbaHigh, moved));
    EXPECT_NE(result.osErrorText.find(message), std::string::npos) << result.osErrorText;
    EXPECT_EQ(disk->security().erasePrepared, outcome == kGood && registers.command == 0xF3);
  }
}

// A packet device takes only the packet IDENTIFY; the security bits come from IDENTIFY.
TEST(SimulatedDiskImage, PacketIdentifyAndSecurityFollowTheSectors) {
  SimulatedDiskImage image = MakeImage({});
  image.identify[1] = 0x85;  // word 0 bits 15-14 = 10
  std::string message;
  auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
  Bytes sector(512);
  const AtaResult ata = Send(*disk, kIdentify, kIn, &sector);
  EXPECT_EQ(std::tuple(Outcome(ata), ata.registers.cylinderLow, ata.registers.cylinderHigh),
            std::tuple(kAbort, 0x14, 0xEB));
  const int packet = Read(*disk, TaskFile{0, 1, 0, 0, 0, 0xA0, 0xA1}, &sector);
  EXPECT_EQ(std::tuple(packet, sector[1]), std::tuple(kGood, 0x85));
  image = MakeImage({.sectors = 0x123456});
  image.identify[167] &= ~0x04;  // no 48-bit addressing: the capacity is words 60-61
  EXPECT_EQ(SimulatedDisk::Create(image, IniFileReader::FromText(""), &message)->capacity(),
            0x123456u);
  const SimulatedSecurity frozen = MakeDisk({.securityWord = 0x000B})->security();
  EXPECT_EQ(std::tuple(frozen.enabled, frozen.locked, frozen.frozen),
            std::tuple(true, false, true));
}

TEST(SimulatedDiskSectors, WritesReadBackAndExtendedCommandsTakeTheHighBytes) {
  auto disk = MakeDisk({.sectors = 2000});
  Bytes two(1024);
  std::generate(two.begin(), two.end(), [i = 0]() mutable { return std::uint8_t(i++ * 7 + 1); });
  EXPECT_EQ(Outcome(Send(*disk, Lba28(kAtaWriteSectors, 1998, 2), kOut, &two)), kGood);
  Bytes back(1024, 0xFF), never(512, 0xFF);
  const int dma = Outcome(Send(*disk, Lba28(kAtaReadDma, 1998, 2), kDmaIn, &back)),
            pio = Read(*disk, Lba28(kAtaReadSectors, 5, 1), &never);
  EXPECT_EQ(std::tuple(dma, back, pio, never), std::tuple(kGood, two, kGood, Bytes(512, 0)));
  // Extended commands take bits 24-47 from the previous registers: LBA 0x1_0000_0001.
  auto big = MakeDisk({.sectors = 0x200000000ull});
  Bytes data(512, 0x42);
  const TaskFile low{0, 1, 0x01, 0, 0, 0x40, kAtaWriteSectorsExt}, high{0, 0, 0, 0x01, 0, 0, 0};
  const int wrote = Outcome(big->Execute({low, high, true, kOut, data}));
  EXPECT_EQ(std::tuple(wrote, big->StoredSector(0x100000001ull)[0], big->StoredSector(1)[0]),
            std::tuple(kGood, 0x42, 0));
}

TEST(SimulatedDiskSectors, ChecksAddressCountAndProtocol) {
  const std::tuple<const char*, TaskFile, std::size_t, int> cases[] = {
      {"last sector", Lba28(0x20, 1999, 1), 512, kGood},
      {"past the end", Lba28(0x20, 2000, 1), 512, 0x5100 | kAtaErrorIdnf},
      {"count 0 means 256", Lba28(0x20, 0, 0), 256 * 512, kGood},
      {"count 0 with one sector", Lba28(0x20, 0, 0), 512, kAbort},
      {"high nibble in device", Lba28(0x20, 0x1000000, 1), 512, 0x5100 | kAtaErrorIdnf},
      {"CHS addressing", {0, 1, 1, 0, 0, 0xA0, 0x20}, 512, kAbort},
      {"READ DMA sent as PIO", Lba28(0xC8, 0, 1), 512, kAbort}};
  for (const auto& [name, registers, bytes, outcome] : cases) {
    auto disk = MakeDisk({.sectors = 2000});
    Bytes data(bytes);
    EXPECT_EQ(Outcome(Send(*disk, registers, kIn, &data)), outcome) << name;
  }
}

Bytes Selector(std::uint8_t page, std::uint8_t magic = 0xF0) {
  Bytes block(512, 0);
  block[0] = magic, block[1] = 0x20, block[11] = page;
  return block;
}

TEST(SimulatedDiskVendor, OnlyTheWholeKeySequenceSelectsAPageThatIsReadOnce) {
  enum Reads { kPage, kSelector, kZeros };  // what the read after the selector returns
  const std::vector<std::uint16_t> kKeys = {0x00AA, 0xAA00, 0x0055, 0x5500, 0x55AA};
  // Name, keys, SMART read after the third, signature, selector and its outcome.
  // clang-format off
  const std::tuple<const char*, std::vector<std::uint16_t>, bool, bool, Bytes, int, Reads> cases[] = {
      {"whole sequence", kKeys, false, true, Selector(1), kGood, kPage},
      {"third key skipped", {0x00AA, 0xAA00, 0x5500, 0x55AA}, false, true, Selector(1), kGood, kSelector},
      {"two keys swapped", {0x00AA, 0x0055, 0xAA00, 0x5500, 0x55AA}, false, true, Selector(1), kGood, kSelector},
      {"only four keys", {0x00AA, 0xAA00, 0x0055, 0x5500}, false, true, Selector(1), kGood, kSelector},
      {"interrupted by a SMART read", kKeys, true, true, Selector(1), kGood, kSelector},
      {"wrong magic", kKeys, false, true, Selector(1, 0xF1), kAbort, kZeros},
      {"no such page", kKeys, false, true, Selector(9), kAbort, kZeros},
      {"no controller signature", kKeys, false, false, Selector(1), kGood, kSelector}};
  // clang-format on
  Bytes page(512);
  std::generate(page.begin(), page.end(), [i = 0]() mutable { return std::uint8_t(i++ % 251); });
  for (const auto& [name, keys, interrupt, signature, selector, outcome, reads] : cases) {
    SCOPED_TRACE(name);
    SimulatedDiskImage image = MakeImage({.vendorSignature = signature});
    image.vendorPages[1] = page;
    std::string message;
    auto disk = SimulatedDisk::Create(image, IniFileReader::FromText(""), &message);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      Read(*disk, Lba28(kAtaReadSectors, keys[i]));
      if (interrupt && i == 2)
        Read(*disk, kSmartReadData);
    }
    Bytes written = selector, read(512, 0xFF);
    EXPECT_EQ(Outcome(Send(*disk, Lba28(kAtaWriteSectors, 0x55AA), kOut, &written)), outcome);
    EXPECT_EQ(Read(*disk, Lba28(kAtaReadSectors, 0x55AA), &read), kGood);
    Bytes again(512, 0xFF);  // a page is returned once; then the address reads the sector
    Read(*disk, Lba28(kAtaReadSectors, 0x55AA), &again);
    const Bytes stored = reads == kSelector ? selector : Bytes(512, 0);
    EXPECT_EQ(std::tuple(read, again), std::tuple(reads == kPage ? page : stored, stored));
  }
}

TEST(SimulatedDiskTrim, RefusesEntriesPastTheCapacityAndTrimItDoesNotDo) {
  using Entries = std::vector<std::pair<std::uint64_t, std::uint16_t>>;
  // Name, disk, description, features, count, entries: each refused, nothing trimmed.
  // clang-format off
  const std::tuple<const char*, TestDriveSpec, const char*, std::uint8_t, std::uint8_t, Entries> cases[] = {
      {"past the end", {.sectors = 100}, "", 1, 1, {{0, 50}, {50, 51}}},
      {"starts past the end", {.sectors = 100}, "", 1, 1, {{200, 1}}},
      {"count does not match the data", {.sectors = 1000}, "", 1, 2, {{0, 10}}},
      {"not TRIM", {.sectors = 1000}, "", 0, 1, {{0, 10}}},
      {"unsupported", {.sectors = 1000, .trim = false}, "", 1, 1, {{0, 10}}},
      {"switched off", {.sectors = 1000}, "trim_supported=0", 1, 1, {{0, 10}}}};
  // clang-format on
  for (const auto& [name, wanted, description, features, count, entries] : cases) {
    SCOPED_TRACE(name);
    auto disk = MakeDisk(wanted, description);
    Bytes keep(512, 0x77), block(512, 0);
    ASSERT_EQ(Outcome(Send(*disk, Lba28(kAtaWriteSectors, 50, 1), kOut, &keep)), kGood);
    for (std::size_t i = 0; i < entries.size(); ++i) {  // 48-bit LBA and 16-bit count, LE
      const std::uint64_t entry = entries[i].first | std::uint64_t{entries[i].second} << 48;
      for (int b = 0; b < 8; ++b)
        block[i * 8 + b] = static_cast<std::uint8_t>(entry >> (8 * b));
    }
    const int outcome = Outcome(
        Send(*disk, TaskFile{features, count, 0, 0, 0, 0xE0, 0x06}, AtaProtocol::kDmaOut, &block));
    EXPECT_EQ(std::tuple(outcome, disk->TrimmedRanges().size(), disk->StoredSector(50)[0]),
              std::tuple(kAbort, 0u, 0x77));
  }
}

// Sends a security command, or a read; a leading '*' picks the master password.
AtaResult Security(SimulatedDisk& disk, std::uint8_t command, std::string password) {
  Bytes block(512, 0);
  block[0] = password.starts_with('*') ? 1 : 0;
  std::copy(password.begin() + block[0], password.end(), block.begin() + 2);
  if (command == kAtaReadSectors)
    return Send(disk, Lba28(kAtaReadSectors, 0), kIn, &block);
  const bool noData = command == kAtaSecurityErasePrepare || command == kAtaSecurityFreezeLock;
  return Send(disk, Lba28(command, 0, noData ? 0 : 1), noData ? kNone : kOut,
              noData ? nullptr : &block);
}

TEST(SimulatedDiskSecurity, FollowsTheSecurityStatesAndIdentifyShowsThem) {
  using Step = std::tuple<std::uint8_t, const char*, bool>;  // command, password, accepted
  constexpr std::uint8_t kSet = 0xF1, kUnlock = 0xF2, kPrepare = 0xF3, kErase = 0xF4,
                         kFreeze = 0xF5, kDisable = 0xF6, kRead = kAtaReadSectors;
  const char* kLocked = "security_state=locked\nsecurity_user_password=pw";
  const char* kEnabled = "security_state=enabled\nsecurity_user_password=pw";
  // Name, description, steps, IDENTIFY word 128 bits 0-4, erases done, written sectors left.
  // clang-format off
  const std::tuple<const char*, const char*, std::vector<Step>, int, int, std::size_t> cases[] = {
      {"set, prepare, erase", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abc", true}}, 0x01, 1, 0},
      {"master password erases", "", {{kSet, "abc", true}, {kSet, "*m", true}, {kPrepare, "", true}, {kErase, "*m", true}}, 0x01, 1, 0},
      {"erase without prepare", "", {{kSet, "abc", true}, {kErase, "abc", false}}, 0x03, 0, 1},
      {"prepare, then another command", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kRead, "", true}, {kErase, "abc", false}}, 0x03, 0, 1},
      {"erase without a password", "", {{kPrepare, "", true}, {kErase, "", false}}, 0x01, 0, 1},
      {"wrong password", "", {{kSet, "abc", true}, {kPrepare, "", true}, {kErase, "abd", false}}, 0x03, 0, 1},
      {"frozen refuses all", "security_state=frozen", {{kSet, "abc", false}, {kPrepare, "", false}, {kErase, "abc", false}}, 0x09, 0, 1},
      {"freeze lock", "", {{kFreeze, "", true}, {kSet, "abc", false}}, 0x09, 0, 1},
      {"locked refuses media", kLocked, {{kRead, "", false}, {kSet, "x", false}, {kUnlock, "no", false}, {kUnlock, "pw", true}, {kRead, "", true}}, 0x03, 0, 0},
      {"locked disk can be erased", kLocked, {{kPrepare, "", true}, {kErase, "pw", true}, {kRead, "", true}}, 0x01, 1, 0},
      {"disable password", kEnabled, {{kDisable, "pw", true}, {kPrepare, "", true}, {kErase, "pw", false}}, 0x01, 0, 1},
      {"five wrong passwords expire", kEnabled, {{kUnlock, "1", false}, {kUnlock, "2", false}, {kUnlock, "3", false}, {kUnlock, "4", false}, {kUnlock, "5", false}, {kPrepare, "", true}, {kErase, "pw", false}}, 0x13, 0, 1}};
  // clang-format on
  for (const auto& [name, description, steps, word128, erases, sectorsLeft] : cases) {
    SCOPED_TRACE(name);
    auto disk = MakeDisk({}, description);
    ASSERT_NE(disk, nullptr);
    Bytes data(512, 0x33), identify(512);
    Send(*disk, Lba28(kAtaWriteSectors, 7), kOut, &data);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const auto& [command, password, ok] = steps[i];
      EXPECT_EQ(Outcome(Security(*disk, command, password)), ok ? kGood : kAbort) << "step " << i;
    }
    const int identified = Read(*disk, kIdentify, &identify);  // its integrity word sums to 0
    EXPECT_EQ(std::tuple(disk->security().erasesDone, disk->StoredSectorCount(), identified,
                         identify[256] & 0x1F,
                         std::accumulate(identify.begin(), identify.end(), 0) % 256),
              std::tuple(erases, sectorsLeft, kGood, word128, 0));
  }
}

}  // namespace
}  // namespace ds
