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

// Registers are listed as {error, count, LBA 0-7, LBA 8-15, LBA 16-23, device, status}.
TEST(DecodeSenseTest, FindsTheRegistersOrSaysWhyNot) {
  struct Case {
    const char* name;
    const char* hex;
    SenseKind kind;
    std::uint8_t senseKey, asc, ascq;
    bool extended;
    TaskFile registers, previous;
  };
  constexpr SenseKind kRegisters = SenseKind::kAtaRegisters, kOther = SenseKind::kOther,
                      kMalformed = SenseKind::kMalformed;
  // clang-format off
  const Case cases[] = {
      // Descriptor format, the ATA Status Return descriptor (type 09).
      {"RETURN STATUS, good", "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50", kRegisters, 0x01, 0x00, 0x1D, false, {0x00, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0x50}, {}},
      {"ERR set", "72 0b 00 00 00 00 00 0e 09 0c 00 04 00 01 00 aa 00 55 00 00 e0 51", kRegisters, 0x0B, 0, 0, false, {0x04, 0x01, 0xAA, 0x55, 0x00, 0xE0, 0x51}, {}},
      {"DRQ still set", "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 01 00 00 00 4f 00 c2 a0 58", kRegisters, 0x01, 0x00, 0x1D, false, {0x00, 0x01, 0x00, 0x4F, 0xC2, 0xA0, 0x58}, {}},
      {"extended: high bytes", "72 01 00 1d 00 00 00 0e 09 0c 01 00 12 34 56 78 9a bc de f0 40 50", kRegisters, 0x01, 0x00, 0x1D, true, {0x00, 0x34, 0x78, 0xBC, 0xF0, 0x40, 0x50}, {0, 0x12, 0x56, 0x9A, 0xDE, 0, 0}},
      {"after an information descriptor", "72 01 00 1d 00 00 00 1a 00 0a 80 00 00 00 00 00 00 00 00 07 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50", kRegisters, 0x01, 0x00, 0x1D, false, {0x00, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0x50}, {}},
      {"cut by the additional length", "72 01 00 1d 00 00 00 0a 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50", kOther, 0x01, 0x00, 0x1D, false, {}, {}},
      {"cut by the buffer end", "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f", kOther, 0x01, 0x00, 0x1D, false, {}, {}},
      {"header only", "72 05 24 00 00 00 00 00", kOther, 0x05, 0x24, 0x00, false, {}, {}},
      {"short header", "72 05 24 00 00", kMalformed, 0, 0, 0, false, {}, {}},
      // Fixed format: the kernel's layout and the standard one (INFORMATION set).
      {"kernel layout, abort", "70 00 0b 00 00 00 00 0a 04 41 40 00 00 00 00 00 00 00", kRegisters, 0x0B, 0, 0, false, {0x04, 0x00, 0x00, 0x00, 0x00, 0x40, 0x41}, {}},
      {"kernel layout, extended with LBA", "70 00 0b 00 00 00 00 0a 04 51 e0 02 00 00 00 00 80 11 22 33", kRegisters, 0x0B, 0, 0, true, {0x04, 0x02, 0x11, 0x22, 0x33, 0xE0, 0x51}, {}},
      {"kernel layout, DRQ", "70 00 01 00 00 00 00 0a 00 58 a0 01 00 1d", kRegisters, 0x01, 0x00, 0x1D, false, {0x00, 0x01, 0x00, 0x00, 0x00, 0xA0, 0x58}, {}},
      {"standard layout", "f0 00 0b 04 51 e0 01 0a 80 aa bb cc 00 00", kRegisters, 0x0B, 0, 0, true, {0x04, 0x01, 0xAA, 0xBB, 0xCC, 0xE0, 0x51}, {}},
      {"invalid opcode", "70 00 05 00 00 00 00 0a 00 00 00 00 20 00 00 00 00 00", kOther, 0x05, 0x20, 0x00, false, {}, {}},
      {"two bytes", "70 00", kMalformed, 0, 0, 0, false, {}, {}},
      // Nothing, or a format this program does not read.
      {"empty", "", SenseKind::kEmpty, 0, 0, 0, false, {}, {}},
      {"vendor format", "7f 01 02 03 04 05 06 07 08 09 0a 0b", kMalformed, 0, 0, 0, false, {}, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DecodedSense decoded = DecodeSense(Bytes(c.hex));
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
}

TEST(InterpretCompletionTest, SeparatesTransportFailuresFromAtaErrors) {
  struct Case {
    const char* name;
    int ioctlResult, ioctlErrno;
    std::uint8_t scsiStatus;
    std::uint16_t hostStatus, driverStatus;
    int residual;
    const char* senseHex;
    std::size_t dataBytes;
    bool transportOk;
    int osError;
    std::uint8_t status;      // returned status (when transportOk)
    std::size_t transferred;  // bytes moved
    const char* messagePart;  // part of osErrorText ("" when none)
  };
  const char* kGood = "72 01 00 1d 00 00 00 0e 09 0c 00 00 00 00 00 00 00 4f 00 c2 40 50";
  const char* kAbort = "72 0b 00 00 00 00 00 0e 09 0c 00 04 00 00 00 00 00 4f 00 c2 40 51";
  // clang-format off
  const Case cases[] = {
      {"no rights", -1, EPERM, 0, 0, 0, 0, "", 512, false, EPERM, 0, 0, "CAP_SYS_RAWIO"},
      {"not a SCSI device", -1, ENOTTY, 0, 0, 0, 0, "", 512, false, ENOTTY, 0, 0, "SG_IO"},
      {"host time-out", 0, 0, 0, 0x03, 0, 512, "", 512, false, ETIMEDOUT, 0, 0, "timed out after 1234 ms"},
      {"driver time-out", 0, 0, 0, 0, 0x06, 0, "", 0, false, ETIMEDOUT, 0, 0, "timed out"},
      {"SCSI busy", 0, 0, 0x08, 0, 0, 0, "", 0, false, EIO, 0, 0, "SCSI status 0x08"},
      {"clean data-in is status 50", 0, 0, 0, 0, 0, 0, "", 512, true, 0, 0x50, 512, ""},
      {"registers of a non-data command", 0, 0, 0x02, 0, 0x08, 0, kGood, 0, true, 0, 0x50, 0, ""},
      {"an ATA abort is no transport failure", 0, 0, 0x02, 0, 0x08, 512, kAbort, 512, true, 0, 0x51, 0, ""},
      {"kernel fixed-format abort", 0, 0, 0x02, 0, 0x08, 512, "70 00 0b 00 00 00 00 0a 04 41 40 00 00 00 00 00 00 00", 512, true, 0, 0x41, 0, ""},
      {"refused by the driver", 0, 0, 0x02, 0, 0x08, 512, "70 00 05 00 00 00 00 0a 00 00 00 00 20 00", 512, false, EOPNOTSUPP, 0, 0, "refused the ATA pass-through"},
      {"medium error without registers", 0, 0, 0x02, 0, 0x08, 512, "70 00 03 00 00 00 00 0a 00 00 00 00 11 04", 512, false, EIO, 0, 0, "without ATA registers"},
      {"CHECK CONDITION, no sense", 0, 0, 0x02, 0, 0, 0, "", 0, false, EIO, 0, 0, "without usable sense"},
      {"CHECK CONDITION, garbage sense", 0, 0, 0x02, 0, 0, 0, "12 34", 0, false, EIO, 0, 0, "2 bytes"},
      {"short transfer", 0, 0, 0, 0, 0, 256, "", 512, false, EIO, 0, 256, "moved 256 of 512"},
      {"impossible residual", 0, 0, 0, 0, 0, 600, "", 512, false, EIO, 0, 0, "impossible residual"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
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
}

TEST(DescribeOsError, NamesOperationDeviceAndRights) {
  EXPECT_EQ(DescribeOsError(ENOENT, "open", "/dev/sdq"),
            "open on /dev/sdq failed: No such file or directory");
  const std::string denied = DescribeOsError(EACCES, "HDIO_DRIVE_CMD", "/dev/sda");
  EXPECT_EQ(denied.rfind("HDIO_DRIVE_CMD on /dev/sda failed: Permission denied", 0), 0u);
  EXPECT_NE(denied.find("root or the CAP_SYS_RAWIO capability"), std::string::npos);
}

}  // namespace
}  // namespace ds
