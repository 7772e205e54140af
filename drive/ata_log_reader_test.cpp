#include "drive/ata_log_reader.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_test_drive.h"

namespace ds {
namespace {

// A log of `pages` pages whose page n starts with n (low, high) and the address.
std::vector<std::uint8_t> Log(int address, std::size_t pages) {
  std::vector<std::uint8_t> log(pages * 512);
  for (std::size_t n = 0; n < pages; ++n) {
    const std::uint8_t head[] = {std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(address)};
    std::copy(head, head + 3, log.begin() + static_cast<std::ptrdiff_t>(n * 512));
  }
  return log;
}

// A simulated disk with logs 04h (8 pages) and 80h (0x203 pages), a directory when asked,
// and general purpose logging when `word84` says so.
std::shared_ptr<SimulatedDisk> LogDisk(std::uint16_t word84, bool directory) {
  SimulatedDiskImage image = testing::MakeImage({});
  image.identify[168] = static_cast<std::uint8_t>(word84), image.identify[169] = word84 >> 8;
  image.logs[0x04] = Log(0x04, 8);
  image.logs[0x80] = Log(0x80, 0x203);
  if (directory) {
    image.logs[0x00] = std::vector<std::uint8_t>(512);
    image.logs[0x00][0] = 1, image.logs[0x00][8] = 8, image.logs[0x00][256] = 3;
    image.logs[0x00][257] = 2;
  }
  std::string message;
  return SimulatedDisk::Create(std::move(image), IniFileReader::FromText(""), &message);
}

constexpr std::uint16_t kGpl = 0x4020, kGplNotValid = 0x0020, kNoGpl = 0x4000;

TEST(AtaLogReader, PicksTheCommandByIdentifyAndLaysOutAddressPageAndCount) {
  // Name, word 84, address, first page, count, registers sent, previous registers (count
  // high, page high), first page that came back ("" when it fails) or the message part.
  // clang-format off
  const std::tuple<const char*, std::uint16_t, std::uint8_t, std::uint16_t, std::uint16_t, TaskFile, std::pair<int, int>, const char*> cases[] = {
      {"READ LOG EXT pages 5-6", kGpl, 0x04, 5, 2, {0, 2, 0x04, 5, 0, 0xE0, 0x2F}, {0, 0}, ""},
      {"READ LOG EXT 16-bit page and count", kGpl, 0x80, 0x102, 0x101, {0, 0x01, 0x80, 0x02, 0, 0xE0, 0x2F}, {1, 1}, ""},
      {"word 84 not valid: SMART READ LOG from page 0", kGplNotValid, 0x04, 5, 2, {0xD5, 7, 0x04, 0x4F, 0xC2, 0xA0, 0xB0}, {0, 0}, ""},
      {"SMART READ LOG page 7", kNoGpl, 0x04, 7, 1, {0xD5, 8, 0x04, 0x4F, 0xC2, 0xA0, 0xB0}, {0, 0}, ""},
      {"a log the disk lacks aborts", kGpl, 0x06, 0, 1, {0, 1, 0x06, 0, 0, 0xE0, 0x2F}, {0, 0}, "status 0x51, error 0x04"},
      {"past the end of the log aborts", kNoGpl, 0x04, 7, 2, {0xD5, 9, 0x04, 0x4F, 0xC2, 0xA0, 0xB0}, {0, 0}, "error 0x04"},
      {"SMART READ LOG cannot reach page 255", kNoGpl, 0x80, 250, 10, {}, {0, 0}, "does not fit"},
      {"no pages", kGpl, 0x04, 0, 0, {}, {0, 0}, "does not fit"}};
  // clang-format on
  for (const auto& [name, word84, address, firstPage, count, sent, previous, failure] : cases) {
    SCOPED_TRACE(name);
    const auto disk = LogDisk(word84, true);
    std::string message;
    const auto device = disk->OpenHandle(&message);
    std::vector<std::uint8_t> out;
    IdentifyWords words{};
    words[84] = word84;
    ASSERT_EQ(ReadLogPages(*device, words, address, firstPage, count, &out, &message), !*failure);
    EXPECT_NE(message.find(failure), std::string::npos) << message;
    const auto log = disk->CommandLog();
    const SimulatedCommandRecord last = log.empty() ? SimulatedCommandRecord{} : log.back();
    EXPECT_EQ(last.registers, sent);
    const std::pair<int, int> high(last.previousRegisters.sectorCount,
                                   last.previousRegisters.cylinderLow);
    EXPECT_EQ(high, previous);
    if (*failure)
      continue;
    ASSERT_EQ(out.size(), count * 512u);
    EXPECT_EQ(std::tuple(out[0] | out[1] << 8, out[2], out[out.size() - 512]),
              std::tuple(firstPage, address, static_cast<std::uint8_t>(firstPage + count - 1)));
  }
}

TEST(AtaLogReader, DirectoryGivesPagesPerLogAndFailsWhereTheDiskAborts) {
  // Word 84, directory present, read, pages of logs 04h and 80h (SMART counts stop at 255).
  const std::tuple<std::uint16_t, bool, bool, int, int> cases[] = {
      {kGpl, true, true, 8, 0x203}, {kNoGpl, true, true, 8, 255}, {kGpl, false, false, 0, 0}};
  for (const auto& [word84, present, readOk, pages04, pages80] : cases) {
    std::string message;
    const auto device = LogDisk(word84, present)->OpenHandle(&message);
    IdentifyWords words{};
    words[84] = word84;
    LogDirectory directory;
    EXPECT_EQ(ReadLogDirectory(*device, words, &directory, &message), readOk) << message;
    EXPECT_EQ(std::tuple(directory.PageCount(0x04), directory.PageCount(0x80),
                         directory.PageCount(0x05), directory.generalPurpose),
              std::tuple(pages04, pages80, 0, readOk && word84 == kGpl));
  }
}

}  // namespace
}  // namespace ds
