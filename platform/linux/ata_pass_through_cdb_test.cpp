#include "platform/linux/ata_pass_through_cdb.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/linux/drive_cmd_request.h"

namespace ds {
namespace {

struct CdbCase {
  const char* name;
  TaskFile registers;
  TaskFile previous;
  bool extended;
  AtaProtocol protocol;
  std::size_t dataBytes;
  AtaPassThroughCdb expected;
};

class AtaPassThroughCdbTest : public ::testing::TestWithParam<CdbCase> {};

TEST_P(AtaPassThroughCdbTest, BuildsTheBlockByteForByte) {
  const CdbCase& c = GetParam();
  std::vector<std::uint8_t> data(c.dataBytes);
  AtaCommand command;
  command.registers = c.registers;
  command.previousRegisters = c.previous;
  command.extended = c.extended;
  command.protocol = c.protocol;
  command.data = data;
  AtaPassThroughCdb cdb{};
  cdb.fill(0xEE);
  std::string message;
  ASSERT_TRUE(BuildAtaPassThroughCdb(command, &cdb, &message)) << message;
  EXPECT_EQ(cdb, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AtaPassThroughCdbTest,
    ::testing::Values(
        CdbCase{"IdentifyDevice",
                {0, 1, 0, 0, 0, 0xA0, 0xEC},
                {},
                false,
                AtaProtocol::kPioDataIn,
                512,
                {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xA0, 0xEC, 0}},
        CdbCase{"SmartReadData",
                {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0},
                {},
                false,
                AtaProtocol::kPioDataIn,
                512,
                {0x85, 0x08, 0x0E, 0, 0xD0, 0, 0x01, 0, 0, 0, 0x4F, 0, 0xC2, 0xA0, 0xB0, 0}},
        CdbCase{"SmartReadThresholds",
                {0xD1, 1, 0, 0x4F, 0xC2, 0xE0, 0xB0},
                {},
                false,
                AtaProtocol::kPioDataIn,
                512,
                {0x85, 0x08, 0x0E, 0, 0xD1, 0, 0x01, 0, 0, 0, 0x4F, 0, 0xC2, 0xE0, 0xB0, 0}},
        CdbCase{"SmartEnableNonData",
                {0xD8, 0, 0, 0x4F, 0xC2, 0xB0, 0xB0},
                {},
                false,
                AtaProtocol::kNonData,
                0,
                {0x85, 0x06, 0x20, 0, 0xD8, 0, 0, 0, 0, 0, 0x4F, 0, 0xC2, 0xB0, 0xB0, 0}},
        CdbCase{"TrimDataOut",
                {0x01, 1, 0, 0, 0, 0xE0, 0x06},
                {},
                false,
                AtaProtocol::kDmaOut,
                512,
                {0x85, 0x0C, 0x06, 0, 0x01, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0x06, 0}},
        CdbCase{"ErasePrepareNonData",
                {0, 0, 0, 0, 0, 0xE0, 0xF3},
                {},
                false,
                AtaProtocol::kNonData,
                0,
                {0x85, 0x06, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xF3, 0}},
        CdbCase{"SetPasswordPioOut",
                {0, 1, 0, 0, 0, 0xE0, 0xF1},
                {},
                false,
                AtaProtocol::kPioDataOut,
                512,
                {0x85, 0x0A, 0x06, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0xF1, 0}},
        CdbCase{"VendorReadDmaTwoSectors",
                {0, 2, 0xAA, 0x55, 0, 0xE0, 0xC8},
                {},
                false,
                AtaProtocol::kDmaIn,
                1024,
                {0x85, 0x0C, 0x0E, 0, 0, 0, 0x02, 0, 0xAA, 0, 0x55, 0, 0, 0xE0, 0xC8, 0}},
        CdbCase{"ReadSectorsExtCarriesHighBytes",
                {0, 0x10, 0x44, 0x33, 0x22, 0x40, 0x24},
                {0x09, 0x00, 0x77, 0x66, 0x55, 0, 0},
                true,
                AtaProtocol::kPioDataIn,
                16 * 512,
                {0x85, 0x09, 0x0E, 0x09, 0, 0, 0x10, 0x77, 0x44, 0x66, 0x33, 0x55, 0x22, 0x40, 0x24,
                 0}},
        CdbCase{"HighBytesIgnoredWithoutExtend",
                {0, 1, 0x44, 0x33, 0x22, 0xE0, 0x20},
                {0x09, 0x08, 0x77, 0x66, 0x55, 0, 0},
                false,
                AtaProtocol::kPioDataIn,
                512,
                {0x85, 0x08, 0x0E, 0, 0, 0, 0x01, 0, 0x44, 0, 0x33, 0, 0x22, 0xE0, 0x20, 0}}),
    [](const ::testing::TestParamInfo<CdbCase>& info) { return std::string(info.param.name); });

struct BadDataCase {
  const char* name;
  AtaProtocol protocol;
  std::size_t dataBytes;
  const char* messagePart;
};

class AtaPassThroughCdbRejectTest : public ::testing::TestWithParam<BadDataCase> {};

TEST_P(AtaPassThroughCdbRejectTest, RefusesDataThatDoesNotFitTheProtocol) {
  const BadDataCase& c = GetParam();
  std::vector<std::uint8_t> data(c.dataBytes);
  AtaCommand command;
  command.registers = TaskFile{0, 1, 0, 0, 0, 0xE0, 0x20};
  command.protocol = c.protocol;
  command.data = data;
  AtaPassThroughCdb cdb{};
  std::string message;
  EXPECT_FALSE(BuildAtaPassThroughCdb(command, &cdb, &message));
  EXPECT_NE(message.find(c.messagePart), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AtaPassThroughCdbRejectTest,
    ::testing::Values(BadDataCase{"DataInWithoutBuffer", AtaProtocol::kPioDataIn, 0, "needs"},
                      BadDataCase{"NonDataWithBuffer", AtaProtocol::kNonData, 512, "cannot"},
                      BadDataCase{"PartSector", AtaProtocol::kDmaOut, 100, "whole number"},
                      BadDataCase{"SectorAndABit", AtaProtocol::kPioDataIn, 513, "whole number"}),
    [](const ::testing::TestParamInfo<BadDataCase>& info) { return std::string(info.param.name); });

struct DriveCmdCase {
  const char* name;
  TaskFile registers;
  std::size_t dataBytes;
  DriveCmdHeader expected;
};

class DriveCmdHeaderTest : public ::testing::TestWithParam<DriveCmdCase> {};

TEST_P(DriveCmdHeaderTest, PutsSectorNumberForSmartAndCountOtherwise) {
  const DriveCmdCase& c = GetParam();
  DriveCmdHeader header{0xEE, 0xEE, 0xEE, 0xEE};
  std::string message;
  ASSERT_TRUE(BuildDriveCmdHeader(c.registers, c.dataBytes, &header, &message)) << message;
  EXPECT_EQ(header, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DriveCmdHeaderTest,
    ::testing::Values(
        DriveCmdCase{
            "SmartReadData", {0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 512, {0xB0, 0x01, 0xD0, 0x01}},
        DriveCmdCase{
            "SmartEnable", {0xD8, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0}, 0, {0xB0, 0x01, 0xD8, 0x00}},
        DriveCmdCase{"SmartReadLogSector3",
                     {0xD5, 1, 3, 0x4F, 0xC2, 0xA0, 0xB0},
                     512,
                     {0xB0, 0x03, 0xD5, 0x01}},
        DriveCmdCase{"Identify", {0, 1, 1, 0, 0, 0xA0, 0xEC}, 512, {0xEC, 0x01, 0x00, 0x01}},
        DriveCmdCase{"IdentifyPacket", {0, 1, 1, 0, 0, 0xB0, 0xA1}, 512, {0xA1, 0x01, 0x00, 0x01}}),
    [](const ::testing::TestParamInfo<DriveCmdCase>& info) {
      return std::string(info.param.name);
    });

TEST(DriveCmdHeaderLimits, RefusesPartialAndOversizedTransfers) {
  DriveCmdHeader header{};
  std::string message;
  const TaskFile smart{0xD0, 1, 1, 0x4F, 0xC2, 0xA0, 0xB0};
  EXPECT_FALSE(BuildDriveCmdHeader(smart, 100, &header, &message));
  EXPECT_FALSE(BuildDriveCmdHeader(smart, 256 * 512, &header, &message));
  EXPECT_NE(message.find("cannot read"), std::string::npos);
  EXPECT_TRUE(BuildDriveCmdHeader(smart, 255 * 512, &header, &message));
  EXPECT_EQ(header[3], 255);
}

}  // namespace
}  // namespace ds
