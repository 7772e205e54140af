#include "platform/task_file.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(ChooseProtocol, DmaCommandsUseDmaOthersPio) {
  using D = AtaDataDirection;
  using P = AtaProtocol;
  const std::tuple<std::uint8_t, D, P> cases[] = {
      {0xC8, D::kIn, P::kDmaIn},       {0x25, D::kIn, P::kDmaIn},
      {0xCA, D::kOut, P::kDmaOut},     {0x35, D::kOut, P::kDmaOut},
      {0x06, D::kOut, P::kDmaOut},     {0x20, D::kIn, P::kPioDataIn},
      {0xEC, D::kIn, P::kPioDataIn},   {0xB0, D::kIn, P::kPioDataIn},
      {0x30, D::kOut, P::kPioDataOut}, {0xF4, D::kOut, P::kPioDataOut},
      {0xF3, D::kNone, P::kNonData},   {0xC8, D::kNone, P::kNonData},
  };
  for (const auto& [command, direction, expected] : cases) {
    EXPECT_EQ(ChooseProtocol(command, direction), expected) << int{command};
    EXPECT_EQ(IsDataIn(expected), direction == D::kIn) << int{command};
    EXPECT_EQ(IsDataOut(expected), direction == D::kOut) << int{command};
  }
}

TEST(DeviceHeadForDrive, EvenDrivesAreMasterOddDrivesSlave) {
  const std::pair<int, std::uint8_t> cases[] = {{0, 0xA0},  {1, 0xB0},  {2, 0xA0},
                                                {25, 0xB0}, {-1, 0xB0}, {-2, 0xA0}};
  for (const auto& [drive, deviceHead] : cases)
    EXPECT_EQ(DeviceHeadForDrive(drive), deviceHead) << drive;
}

}  // namespace
}  // namespace ds
