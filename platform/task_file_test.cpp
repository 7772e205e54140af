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
      {0x30, D::kOut, P::kPioDataOut}, {0xF4, D::kOut, P::kPioDataOut},
      {0xF3, D::kNone, P::kNonData},   {0xC8, D::kNone, P::kNonData}};
  for (const auto& [command, direction, expected] : cases) {
    EXPECT_EQ(ChooseProtocol(command, direction), expected) << int{command};
    EXPECT_EQ(IsDataIn(expected), direction == D::kIn) << int{command};
    EXPECT_EQ(IsDataOut(expected), direction == D::kOut) << int{command};
  }
}

}  // namespace
}  // namespace ds
