#include "platform/task_file.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

struct ProtocolCase {
  std::uint8_t command;
  AtaDataDirection direction;
  AtaProtocol expected;
};

TEST(ChooseProtocol, DmaCommandsUseDmaOthersPio) {
  const ProtocolCase cases[] = {
      {kAtaReadDma, AtaDataDirection::kIn, AtaProtocol::kDmaIn},
      {kAtaReadDmaExt, AtaDataDirection::kIn, AtaProtocol::kDmaIn},
      {kAtaWriteDma, AtaDataDirection::kOut, AtaProtocol::kDmaOut},
      {kAtaWriteDmaExt, AtaDataDirection::kOut, AtaProtocol::kDmaOut},
      {kAtaDataSetManagement, AtaDataDirection::kOut, AtaProtocol::kDmaOut},
      {kAtaReadSectors, AtaDataDirection::kIn, AtaProtocol::kPioDataIn},
      {kAtaIdentifyDevice, AtaDataDirection::kIn, AtaProtocol::kPioDataIn},
      {kAtaSmart, AtaDataDirection::kIn, AtaProtocol::kPioDataIn},
      {kAtaWriteSectors, AtaDataDirection::kOut, AtaProtocol::kPioDataOut},
      {kAtaSecurityEraseUnit, AtaDataDirection::kOut, AtaProtocol::kPioDataOut},
      {kAtaSecurityErasePrepare, AtaDataDirection::kNone, AtaProtocol::kNonData},
      {kAtaReadDma, AtaDataDirection::kNone, AtaProtocol::kNonData},
  };
  for (const ProtocolCase& c : cases) {
    EXPECT_EQ(ChooseProtocol(c.command, c.direction), c.expected) << int{c.command};
    EXPECT_EQ(IsDataIn(c.expected), c.direction == AtaDataDirection::kIn) << int{c.command};
    EXPECT_EQ(IsDataOut(c.expected), c.direction == AtaDataDirection::kOut) << int{c.command};
  }
}

TEST(DeviceHeadForDrive, EvenDrivesAreMasterOddDrivesSlave) {
  const struct {
    int drive;
    std::uint8_t deviceHead;
  } cases[] = {{0, 0xA0}, {1, 0xB0}, {2, 0xA0}, {25, 0xB0}, {-1, 0xB0}, {-2, 0xA0}};
  for (const auto& c : cases)
    EXPECT_EQ(DeviceHeadForDrive(c.drive), c.deviceHead) << c.drive;
}

}  // namespace
}  // namespace ds
