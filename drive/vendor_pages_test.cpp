#include "drive/vendor_pages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "drive/ata_transport.h"
#include "platform/sim/sim_test_drive.h"

namespace ds {
namespace {

constexpr int kDrive = 3;

// Hands out handles on one simulated disk as drive 3.
struct OneDiskOpener : AtaDeviceOpener {
  explicit OneDiskOpener(std::shared_ptr<SimulatedDisk> d) : disk(std::move(d)) {}
  std::unique_ptr<AtaDevice> Open(int n, const AtaOpenMode&, std::string* message) override {
    return n == kDrive ? disk->OpenHandle(message) : nullptr;
  }
  std::shared_ptr<SimulatedDisk> disk;
};

// Signature disk; vendor page 1 byte i is i * 7 + 1 (412-415: 45 4C 53 5A, 604-607: 85 8C 93 9A).
std::shared_ptr<SimulatedDisk> VendorDisk(const std::string& description = "") {
  SimulatedDiskImage image = testing::MakeImage({.vendorSignature = true});
  std::vector<std::uint8_t>& page = image.vendorPages[1];
  for (std::size_t i = 0; i < 2 * kAtaSectorBytes; ++i)
    page.push_back(static_cast<std::uint8_t>(i * 7 + 1));
  std::string message;
  return SimulatedDisk::Create(image, IniFileReader::FromText(description), &message);
}

// Five key reads, the selector write and the page read; a failure ends the sequence.
TEST(ReadVendorPages, SendsTheKeySequenceAndStopsAtTheFirstFailure) {
  // faults, n, read, commands sent
  const std::tuple<const char*, int, bool, std::size_t> cases[] = {
      {"", 1, true, 7},
      {"", 2, true, 7},
      {"fault_abort_commands=0x20", 2, false, 1},
      {"fault_abort_commands=0x30", 1, false, 6},
      {"fault_abort_commands=0xC8", 2, false, 7}};
  for (const auto& [faults, n, read, commandsSent] : cases) {
    SCOPED_TRACE(std::string(faults) + " n=" + std::to_string(n));
    OneDiskOpener opener(VendorDisk(faults));
    std::vector<std::uint8_t> out;
    std::string message;
    EXPECT_EQ(ReadVendorPages(opener, kDrive, n, &out, &message), read) << message;
    const auto log = opener.disk->CommandLog();  // the simulated disk checks the keys themselves
    EXPECT_EQ(log.size(), commandsSent);
    if (!read)
      continue;
    std::size_t bytes = 0;
    for (const SimulatedCommandRecord& record : log)
      bytes += record.dataBytes;
    EXPECT_EQ(std::tuple(out.size(), bytes, log.back().protocol),
              std::tuple(n * kAtaSectorBytes, (6 + n) * kAtaSectorBytes,
                         n == 1 ? AtaProtocol::kPioDataIn : AtaProtocol::kDmaIn));
    EXPECT_EQ(opener.disk->StoredSector(0x55AA), Sector{});  // a command, not user data
    EXPECT_FALSE(ReadVendorPages(opener, kDrive + 1, n, &out, &message));  // no such drive
  }
}

TEST(ReadVendorPages, NoOtherCommandInterleavesWithTheSequence) {
  OneDiskOpener opener(VendorDisk());
  std::atomic<int> monitorReads{0};
  std::jthread monitor([&](std::stop_token stop) {  // the monitor reads the same disk meanwhile
    std::string message;
    std::array<std::uint8_t, kAtaSectorBytes> sector{};
    for (auto device = opener.disk->OpenHandle(&message); !stop.stop_requested(); ++monitorReads)
      ReadSmartData(*device, 0, sector);
  });
  int reads = 0, failures = 0;
  for (std::vector<std::uint8_t> out; (reads < 200 || monitorReads < 5000) && reads < 50000;
       ++reads) {
    std::string message;
    failures += !ReadVendorPages(opener, kDrive, 1, &out, &message) || out[412] != 0x45;
  }
  EXPECT_EQ(failures, 0) << "of " << reads;
}

TEST(ReadVendorFigure, OnlyTheMakersSignatureDisksOffAptioBoardsAreRead) {
  // model, signature, board, isOtherSm, figure (0: not read), last command (0: none)
  const std::tuple<const char*, bool, const char*, bool, std::uint32_t, int> cases[] = {
      {"QRA X50 128GB", true, "B450M", true, 0x5A534C45u, kAtaReadSectors},
      {"QRB X52", true, "", false, 0x858C939Au, kAtaReadDma},
      {"Other SSD", true, "B450M", true, 0, 0},
      {"QRA X50", false, "", true, 0, 0},
      {"QRA X50", true, "Board-Aptio", true, 0, 0}};
  for (const auto& [model, signature, board, isOtherSm, figure, pageRead] : cases) {
    OneDiskOpener opener(VendorDisk());
    std::string message;
    const VendorReadTarget target{kDrive, model, signature, isOtherSm, board};
    EXPECT_EQ(ReadVendorFigure(opener, target, &message), figure) << model << " / " << board;
    const auto log = opener.disk->CommandLog();
    EXPECT_EQ(log.empty() ? 0 : log.back().registers.command, pageRead) << model;
  }
  EXPECT_FALSE(VendorReadAllowed({kDrive, "QRA X50", true, true, "", /*behindUsbBridge=*/true}));
  EXPECT_EQ(VendorFigureFromPages(std::vector<std::uint8_t>(415, 1), true), 0u);  // too short
  EXPECT_EQ(VendorFigureFromPages(std::vector<std::uint8_t>(512, 1), false), 0u);
}

}  // namespace
}  // namespace ds
