#include "platform/linux/ata_sense.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <vector>

namespace ds {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in(hex);
  unsigned value = 0;
  while (in >> std::hex >> value)
    bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

struct SenseCase {
  const char* name;
  const char* hex;
  SenseKind kind;
  std::uint8_t senseKey;
  std::uint8_t asc;
  std::uint8_t ascq;
  bool extended;
  TaskFile registers;
  TaskFile previous;
};

class DecodeSenseTest : public ::testing::TestWithParam<SenseCase> {};

TEST_P(DecodeSenseTest, FindsTheRegistersOrSaysWhyNot) {
  const SenseCase& c = GetParam();
  const std::vector<std::uint8_t> sense = Bytes(c.hex);
  const DecodedSense decoded = DecodeSense(sense);
  EXPECT_EQ(decoded.kind, c.kind);
  EXPECT_EQ(decoded.senseKey, c.senseKey);
  EXPECT_EQ(decoded.asc, c.asc);
  EXPECT_EQ(decoded.ascq, c.ascq);
  if (c.kind == SenseKind::kAtaRegisters) {
    EXPECT_EQ(decoded.extended, c.extended);
    EXPECT_EQ(decoded.registers, c.registers);
    EXPECT_EQ(decoded.previousRegisters, c.previous);
  }
}

// Registers are listed as {error, count, LBA 0-7, LBA 8-15, LBA 16-23, device, status}.
INSTANTIATE_TEST_SUITE_P(
    Descriptor, DecodeSenseTest,
    ::testing::Values(
        SenseCase{"SmartReturnStatusGood",
                  "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50",
                  SenseKind::kAtaRegisters,
                  0x01,
                  0x00,
                  0x1D,
                  false,
                  {0x00, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0x50},
                  {}},
        SenseCase{"ErrorBitSet",
                  "72 0b 00 00 00 00 00 0e 09 0c 00 04 00 01 00 aa 00 55 00 00 e0 51",
                  SenseKind::kAtaRegisters,
                  0x0B,
                  0,
                  0,
                  false,
                  {0x04, 0x01, 0xAA, 0x55, 0x00, 0xE0, 0x51},
                  {}},
        SenseCase{"DrqStillSet",
                  "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 01 00 00 00 4f 00 c2 a0 58",
                  SenseKind::kAtaRegisters,
                  0x01,
                  0x00,
                  0x1D,
                  false,
                  {0x00, 0x01, 0x00, 0x4F, 0xC2, 0xA0, 0x58},
                  {}},
        SenseCase{"ExtendedCommandHighBytes",
                  "72 01 00 1d 00 00 00 0e 09 0c 01 00 12 34 56 78 9a bc de f0 40 50",
                  SenseKind::kAtaRegisters,
                  0x01,
                  0x00,
                  0x1D,
                  true,
                  {0x00, 0x34, 0x78, 0xBC, 0xF0, 0x40, 0x50},
                  {0, 0x12, 0x56, 0x9A, 0xDE, 0, 0}},
        SenseCase{"AfterAnInformationDescriptor",
                  "72 01 00 1d 00 00 00 1a 00 0a 80 00 00 00 00 00 00 00 00 07 "
                  "09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50",
                  SenseKind::kAtaRegisters,
                  0x01,
                  0x00,
                  0x1D,
                  false,
                  {0x00, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0x50},
                  {}},
        SenseCase{"DescriptorCutByAdditionalLength",
                  "72 01 00 1d 00 00 00 0a 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50",
                  SenseKind::kOther,
                  0x01,
                  0x00,
                  0x1D,
                  false,
                  {},
                  {}},
        SenseCase{"DescriptorCutByBufferEnd",
                  "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f",
                  SenseKind::kOther,
                  0x01,
                  0x00,
                  0x1D,
                  false,
                  {},
                  {}},
        SenseCase{"HeaderOnly",
                  "72 05 24 00 00 00 00 00",
                  SenseKind::kOther,
                  0x05,
                  0x24,
                  0x00,
                  false,
                  {},
                  {}},
        SenseCase{"ShortHeader", "72 05 24 00 00", SenseKind::kMalformed, 0, 0, 0, false, {}, {}}),
    [](const ::testing::TestParamInfo<SenseCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Fixed, DecodeSenseTest,
    ::testing::Values(SenseCase{"KernelLayoutAbort",
                                "70 00 0b 00 00 00 00 0a 04 41 40 00 00 00 00 00 00 00",
                                SenseKind::kAtaRegisters,
                                0x0B,
                                0,
                                0,
                                false,
                                {0x04, 0x00, 0x00, 0x00, 0x00, 0x40, 0x41},
                                {}},
                      SenseCase{"KernelLayoutExtendedWithLba",
                                "70 00 0b 00 00 00 00 0a 04 51 e0 02 00 00 00 00 80 11 22 33",
                                SenseKind::kAtaRegisters,
                                0x0B,
                                0,
                                0,
                                true,
                                {0x04, 0x02, 0x11, 0x22, 0x33, 0xE0, 0x51},
                                {}},
                      SenseCase{"KernelLayoutDrq",
                                "70 00 01 00 00 00 00 0a 00 58 a0 01 00 1d",
                                SenseKind::kAtaRegisters,
                                0x01,
                                0x00,
                                0x1D,
                                false,
                                {0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0x58},
                                {}},
                      SenseCase{"StandardLayout",
                                "f0 00 0b 04 51 e0 01 0a 80 aa bb cc 00 00",
                                SenseKind::kAtaRegisters,
                                0x0B,
                                0,
                                0,
                                true,
                                {0x04, 0x01, 0xAA, 0xBB, 0xCC, 0xE0, 0x51},
                                {}},
                      SenseCase{"InvalidOpcode",
                                "70 00 05 00 00 00 00 0a 00 00 00 00 20 00 00 00 00 00",
                                SenseKind::kOther,
                                0x05,
                                0x20,
                                0x00,
                                false,
                                {},
                                {}},
                      SenseCase{
                          "TwoBytes", "70 00", SenseKind::kMalformed, 0, 0, 0, false, {}, {}}),
    [](const ::testing::TestParamInfo<SenseCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Unknown, DecodeSenseTest,
    ::testing::Values(SenseCase{"Empty", "", SenseKind::kEmpty, 0, 0, 0, false, {}, {}},
                      SenseCase{"VendorFormat",
                                "7f 01 02 03 04 05 06 07 08 09 0a 0b",
                                SenseKind::kMalformed,
                                0,
                                0,
                                0,
                                false,
                                {},
                                {}}),
    [](const ::testing::TestParamInfo<SenseCase>& info) { return std::string(info.param.name); });

struct CompletionCase {
  const char* name;
  int ioctlResult;
  int ioctlErrno;
  std::uint8_t scsiStatus;
  std::uint16_t hostStatus;
  std::uint16_t driverStatus;
  int residual;
  const char* senseHex;
  std::size_t dataBytes;
  bool transportOk;
  int osError;
  std::uint8_t status;      // expected returned status (when transportOk)
  std::size_t transferred;  // expected bytes moved
  const char* messagePart;  // expected part of osErrorText ("" when none)
};

class InterpretCompletionTest : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(InterpretCompletionTest, SeparatesTransportFailuresFromAtaErrors) {
  const CompletionCase& c = GetParam();
  std::vector<std::uint8_t> data(c.dataBytes);
  AtaCommand command;
  command.registers = TaskFile{0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0};
  command.protocol = c.dataBytes ? AtaProtocol::kPioDataIn : AtaProtocol::kNonData;
  command.data = data;
  command.timeoutMs = 1234;
  const std::vector<std::uint8_t> sense = Bytes(c.senseHex);
  SgIoCompletion completion;
  completion.ioctlResult = c.ioctlResult;
  completion.ioctlErrno = c.ioctlErrno;
  completion.scsiStatus = c.scsiStatus;
  completion.hostStatus = c.hostStatus;
  completion.driverStatus = c.driverStatus;
  completion.residual = c.residual;
  completion.sense = sense;
  const AtaResult result = InterpretSgIoCompletion(command, completion, "/dev/sdz");
  EXPECT_EQ(result.transportOk, c.transportOk);
  EXPECT_EQ(result.osError, c.osError);
  if (c.transportOk) {
    EXPECT_EQ(result.registers.status(), c.status);
    EXPECT_TRUE(result.osErrorText.empty());
  } else {
    EXPECT_NE(result.osErrorText.find("/dev/sdz"), std::string::npos) << result.osErrorText;
  }
  EXPECT_EQ(result.transferred, c.transferred);
  EXPECT_NE(result.osErrorText.find(c.messagePart), std::string::npos) << result.osErrorText;
}

constexpr const char* kGoodDescriptor =
    "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50";
constexpr const char* kAbortDescriptor =
    "72 0b 00 00 00 00 00 0e 09 0c 00 04 00 00 00 00 00 4f 00 c2 40 51";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InterpretCompletionTest,
    ::testing::Values(CompletionCase{"NoRights", -1, EPERM, 0, 0, 0, 0, "", 512, false, EPERM, 0, 0,
                                     "CAP_SYS_RAWIO"},
                      CompletionCase{"NotAScsiDevice", -1, ENOTTY, 0, 0, 0, 0, "", 512, false,
                                     ENOTTY, 0, 0, "SG_IO"},
                      CompletionCase{"HostTimeOut", 0, 0, 0, 0x03, 0, 512, "", 512, false,
                                     ETIMEDOUT, 0, 0, "timed out after 1234 ms"},
                      CompletionCase{"DriverTimeOut", 0, 0, 0, 0, 0x06, 0, "", 0, false, ETIMEDOUT,
                                     0, 0, "timed out"},
                      CompletionCase{"ScsiBusy", 0, 0, 0x08, 0, 0, 0, "", 0, false, EIO, 0, 0,
                                     "SCSI status 0x08"},
                      CompletionCase{"CleanDataInIsStatus50", 0, 0, 0, 0, 0, 0, "", 512, true, 0,
                                     0x50, 512, ""},
                      CompletionCase{"RegistersOfNonData", 0, 0, 0x02, 0, 0x08, 0, kGoodDescriptor,
                                     0, true, 0, 0x50, 0, ""},
                      CompletionCase{"AtaAbortIsNoTransportFailure", 0, 0, 0x02, 0, 0x08, 512,
                                     kAbortDescriptor, 512, true, 0, 0x51, 0, ""},
                      CompletionCase{"KernelFixedAbort", 0, 0, 0x02, 0, 0x08, 512,
                                     "70 00 0b 00 00 00 00 0a 04 41 40 00 00 00 00 00 00 00", 512,
                                     true, 0, 0x41, 0, ""},
                      CompletionCase{"RefusedByDriver", 0, 0, 0x02, 0, 0x08, 512,
                                     "70 00 05 00 00 00 00 0a 00 00 00 00 20 00", 512, false,
                                     EOPNOTSUPP, 0, 0, "refused the ATA pass-through"},
                      CompletionCase{"MediumErrorWithoutRegisters", 0, 0, 0x02, 0, 0x08, 512,
                                     "70 00 03 00 00 00 00 0a 00 00 00 00 11 04", 512, false, EIO,
                                     0, 0, "without ATA registers"},
                      CompletionCase{"CheckConditionNoSense", 0, 0, 0x02, 0, 0, 0, "", 0, false,
                                     EIO, 0, 0, "without usable sense"},
                      CompletionCase{"CheckConditionGarbageSense", 0, 0, 0x02, 0, 0, 0, "12 34", 0,
                                     false, EIO, 0, 0, "2 bytes"},
                      CompletionCase{"ShortTransfer", 0, 0, 0, 0, 0, 256, "", 512, false, EIO, 0,
                                     256, "moved 256 of 512"},
                      CompletionCase{"ImpossibleResidual", 0, 0, 0, 0, 0, 600, "", 512, false, EIO,
                                     0, 0, "impossible residual"}),
    [](const ::testing::TestParamInfo<CompletionCase>& info) {
      return std::string(info.param.name);
    });

TEST(DescribeOsError, NamesOperationDeviceAndRights) {
  EXPECT_EQ(DescribeOsError(ENOENT, "open", "/dev/sdq"),
            "open on /dev/sdq failed: No such file or directory");
  const std::string denied = DescribeOsError(EACCES, "HDIO_DRIVE_CMD", "/dev/sda");
  EXPECT_EQ(denied.rfind("HDIO_DRIVE_CMD on /dev/sda failed: Permission denied", 0), 0u);
  EXPECT_NE(denied.find("root or the CAP_SYS_RAWIO capability"), std::string::npos);
}

}  // namespace
}  // namespace ds
