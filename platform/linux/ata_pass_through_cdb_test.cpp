#include "platform/linux/ata_pass_through_cdb.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/drive_cmd_request.h"

namespace ds {
namespace {

constexpr AtaProtocol kIn = AtaProtocol::kPioDataIn, kNone = AtaProtocol::kNonData;

TEST(AtaPassThroughCdbTest, BuildsTheBlockByteForByte) {
  // Name, registers, previous registers, extended, protocol, data bytes, block, refusal part.
  using Case = std::tuple<const char*, TaskFile, TaskFile, bool, AtaProtocol, std::size_t,
                          AtaPassThroughCdb, const char*>;
  const TaskFile kRead{0, 1, 0, 0, 0, 0xE0, 0x20};
  // clang-format off
  const Case cases[] = {
      {"erase prepare, no data", {0, 0, 0, 0, 0, 0xE0, 0xF3}, {}, false, kNone, 0, {0x85, 0x06, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xF3, 0}, ""},
      {"set password, PIO out", {0, 1, 0, 0, 0, 0xE0, 0xF1}, {}, false, AtaProtocol::kPioDataOut, 512, {0x85, 0x0A, 0x06, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0xF1, 0}, ""},
      {"TRIM, DMA out", {0x01, 1, 0, 0, 0, 0xE0, 0x06}, {}, false, AtaProtocol::kDmaOut, 512, {0x85, 0x0C, 0x06, 0, 0x01, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0x06, 0}, ""},
      {"vendor READ DMA, two sectors", {0, 2, 0xAA, 0x55, 0, 0xE0, 0xC8}, {}, false, AtaProtocol::kDmaIn, 1024, {0x85, 0x0C, 0x0E, 0, 0, 0, 0x02, 0, 0xAA, 0, 0x55, 0, 0, 0xE0, 0xC8, 0}, ""},
      {"READ SECTORS EXT carries the high bytes", {0, 0x10, 0x44, 0x33, 0x22, 0x40, 0x24}, {0x09, 0x00, 0x77, 0x66, 0x55, 0, 0}, true, kIn, 16 * 512, {0x85, 0x09, 0x0E, 0x09, 0, 0, 0x10, 0x77, 0x44, 0x66, 0x33, 0x55, 0x22, 0x40, 0x24, 0}, ""},
      {"READ LOG EXT: 16-bit count and page", {0, 0x01, 0x04, 0x02, 0, 0xE0, 0x2F}, {0, 0x01, 0, 0x01, 0, 0, 0}, true, kIn, 257 * 512, {0x85, 0x09, 0x0E, 0, 0, 0x01, 0x01, 0, 0x04, 0x01, 0x02, 0, 0, 0xE0, 0x2F, 0}, ""},
      {"high bytes ignored without EXTEND", {0, 1, 0x44, 0x33, 0x22, 0xE0, 0x20}, {0x09, 0x08, 0x77, 0x66, 0x55, 0, 0}, false, kIn, 512, {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0x44, 0, 0x33, 0, 0x22, 0xE0, 0x20, 0}, ""},
      {"PIO in without data", kRead, {}, false, kIn, 0, {}, "needs"},
      {"non-data with data", kRead, {}, false, kNone, 512, {}, "cannot"},
      {"part of a sector out", kRead, {}, false, AtaProtocol::kDmaOut, 100, {}, "whole number"},
      {"a sector and a byte in", kRead, {}, false, kIn, 513, {}, "whole number"}};
  // clang-format on
  for (const auto& [name, registers, previous, extended, protocol, dataBytes, expected, refusal] :
       cases) {
    std::vector<std::uint8_t> data(dataBytes);
    const AtaCommand command{registers, previous, extended, protocol, data};
    AtaPassThroughCdb cdb{};
    cdb.fill(0xEE);
    std::string message;
    EXPECT_EQ(BuildAtaPassThroughCdb(command, &cdb, &message), !*refusal) << name;
    EXPECT_NE(message.find(refusal), std::string::npos) << name << ": " << message;
    if (*refusal)
      continue;
    EXPECT_EQ(cdb, expected) << name;
  }
}

TEST(AtaPassThroughCdbTest, Builds12ByteBlockAndRefusesHighBytes) {
  std::vector<std::uint8_t> sector(512);
  AtaCommand identify{{0, 1, 0, 0, 0, 0xA0, 0xEC}, {}, false, kIn, sector};
  AtaPassThrough12Cdb cdb{};
  std::string message;
  ASSERT_TRUE(BuildAtaPassThrough12Cdb(identify, &cdb, &message)) << message;
  EXPECT_EQ(cdb, (AtaPassThrough12Cdb{0xA1, 0x08, 0x0E, 0, 1, 0, 0, 0, 0xA0, 0xEC, 0, 0}));
  const AtaCommand status{{0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0}, {}, false, kNone, {}};
  ASSERT_TRUE(BuildAtaPassThrough12Cdb(status, &cdb, &message)) << message;
  EXPECT_EQ(cdb, (AtaPassThrough12Cdb{0xA1, 0x06, 0x20, 0xDA, 0, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0, 0}));
  identify.extended = true;
  EXPECT_FALSE(BuildAtaPassThrough12Cdb(identify, &cdb, &message));
  EXPECT_NE(message.find("48-bit"), std::string::npos) << message;
}

TEST(DriveCmdHeaderTest, PutsSectorNumberForSmartAndCountOtherwise) {
  const TaskFile kSmartRead{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0};
  // Registers, bytes to read, the header (all 0xEE when refused).
  const std::tuple<TaskFile, std::size_t, DriveCmdHeader> cases[] = {
      {{0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 0, {0xB0, 0x01, 0xD8, 0x00}},  // ENABLE
      {{0, 1, 1, 0, 0, 0xB0, 0xA1}, 512, {0xA1, 0x01, 0x00, 0x01}},         // PACKET
      {kSmartRead, 255 * 512, {0xB0, 0x01, 0xD0, 0xFF}},
      {kSmartRead, 100, {0xEE, 0xEE, 0xEE, 0xEE}},
      {kSmartRead, 256 * 512, {0xEE, 0xEE, 0xEE, 0xEE}}};
  for (const auto& [registers, dataBytes, expected] : cases) {
    DriveCmdHeader header{0xEE, 0xEE, 0xEE, 0xEE};
    std::string message;
    const bool refused = expected[0] == 0xEE;
    EXPECT_EQ(BuildDriveCmdHeader(registers, dataBytes, &header, &message), !refused) << message;
    EXPECT_EQ(header, expected) << std::hex << int{registers.command} << " " << dataBytes;
    EXPECT_EQ(message.find("cannot read") != std::string::npos, refused) << message;
  }
}

}  // namespace
}  // namespace ds
